#include "platform/sockhost/bridge_support.h"

#include "platform/own_folder.h"
#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/kernel_socket.h"
#include "platform/sockhost/libc_calls.h"
#include "platform/sockhost/providers.h"
#include "platform/sockhost/winsock_api.h"
#include "platform/system_install.h"
#include "platform/winsock_ext.h"
#include "platform/wsa_errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <netinet/in.h>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

// How many children made by vfork() may be running on this process's memory
// (see the vfork below). While none is, a socket call needs no system call to
// know that it runs in the process that owns the handles.
extern "C" {
__attribute__((visibility("hidden"))) std::atomic<int> qm_vfork_depth{0};
}

#if defined(__x86_64__)
// vfork() as the C library makes it, plus the mark: the depth is raised
// before the child runs (in the memory it shares with the parent) and lowered
// by the parent when it resumes, that is when the child has executed a
// program or ended. The return address is kept in a register, since the child
// overwrites the stack the parent returns on.
asm(R"(
    .text
    .globl vfork
    .type vfork, @function
vfork:
    endbr64
    lock incl qm_vfork_depth(%rip)
    popq %rdi
    movl $58, %eax
    syscall
    pushq %rdi
    testq %rax, %rax
    jz 1f
    lock decl qm_vfork_depth(%rip)
    cmpq $-4095, %rax
    jae 2f
1:
    ret
2:
    negl %eax
    pushq %rax
    call __errno_location@PLT
    popq %rcx
    movl %ecx, (%rax)
    movl $-1, %eax
    ret
    .size vfork, .-vfork
)");
constexpr bool kVforkMarked = true;
#else
constexpr bool kVforkMarked = false;
#endif

namespace sockhost {
namespace {

std::atomic<pid_t> gOwnerPid{0};
std::mutex gAdoptLock; // one inherited socket made the child's own at a time

void PrepareFork() {
    gAdoptLock.lock();
    PrepareForkProviders();
}
void ParentAfterFork() {
    ParentAfterForkProviders();
    gAdoptLock.unlock();
}

// A forked child is a new process to the providers: it forgets the parent's
// handles (its inherited descriptors then go straight to the C library) and
// starts every provider afresh.
void ChildAfterFork() {
    gOwnerPid.store(::getpid());
    ForgetAllHandles();
    ChildAfterForkProviders();
    gAdoptLock.unlock();
}

__attribute__((constructor)) void RegisterForkHandlers() {
    gOwnerPid.store(::getpid());
    ::pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);
}

// Windows numbers for the two families the catalog serves.
int CatalogFamily(int domain) {
    return domain == AF_INET6 ? AF_INET6_W : AF_INET_W;
}

constexpr std::size_t kInlineBuffers = 16;

// The iovecs of a message as WSABUFs; small counts stay on the stack.
class Buffers {
  public:
    explicit Buffers(const msghdr* message) {
        std::size_t count = message->msg_iovlen;
        WSABUF* out = inline_;
        if (count > kInlineBuffers) {
            heap_.resize(count);
            out = heap_.data();
        }
        for (std::size_t i = 0; i < count; ++i) {
            out[i].len = ClampLength(message->msg_iov[i].iov_len);
            out[i].buf = static_cast<char*>(message->msg_iov[i].iov_base);
        }
        data_ = out;
        count_ = DWORD(count);
    }
    WSABUF* data() { return data_; }
    DWORD count() const { return count_; }

  private:
    WSABUF inline_[kInlineBuffers];
    std::vector<WSABUF> heap_;
    WSABUF* data_ = nullptr;
    DWORD count_ = 0;
};

} // namespace

// A forked child learns of its fork through the fork handlers; a vfork child
// does not, so only while one may be running is the process id compared.
bool Bridged() {
    if (InHost()) {
        return false;
    }
    if (kVforkMarked && qm_vfork_depth.load(std::memory_order_relaxed) == 0) {
        return true;
    }
    return ::getpid() == gOwnerPid.load(std::memory_order_relaxed);
}

// A socket a forked child inherited is made the child's own at its first use:
// a new socket through the catalog's chain for its family and type, whose
// provider sockets and program handle all become the inherited socket, under
// its number. The child's providers then see it as the parent's did.
bool AdoptInherited(SOCKET handle) {
    std::lock_guard<std::mutex> hold(gAdoptLock);
    if (!TakeInherited(handle)) {
        HandleEntry entry;
        return LookupHandle(handle, entry); // another thread made it its own
    }
    int domain = 0, type = 0, protocol = 0;
    socklen_t size = sizeof domain;
    WSAPROTOCOL_INFOW entry{};
    if (::getsockopt(int(handle), SOL_SOCKET, SO_DOMAIN, &domain, &size) != 0 ||
        ::getsockopt(int(handle), SOL_SOCKET, SO_TYPE, &type, &size) != 0 ||
        ::getsockopt(int(handle), SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 ||
        (domain != AF_INET && domain != AF_INET6) ||
        !ChooseEntry(CatalogFamily(domain), type, protocol, entry)) {
        return false;
    }
    int flags = ::fcntl(int(handle), F_GETFD);
    AdoptionScope adoption{int(handle)};
    ClearNotes();
    int error = 0;
    SOCKET s = CreateSocket(CatalogFamily(domain), type, protocol, &entry, 0,
                            flags >= 0 && (flags & FD_CLOEXEC), &error);
    return s == handle;
}

bool Ours(int fd) {
    HandleEntry entry;
    if (fd < 0) {
        return false;
    }
    if (LookupHandle(SOCKET(fd), entry)) {
        return Bridged();
    }
    return Inherited(SOCKET(fd)) && Bridged() && AdoptInherited(SOCKET(fd));
}

bool Find(int fd, Target& target) {
    if (fd < 0) {
        return false;
    }
    if (Resolve(SOCKET(fd), target)) {
        return Bridged();
    }
    return Inherited(SOCKET(fd)) && Bridged() && AdoptInherited(SOCKET(fd)) &&
           Resolve(SOCKET(fd), target);
}

// The filter service installed beside this library: its own sockets (the
// channel's listener, the account server, the rating service) are not filtered.
static bool IsTheService() {
    char self[PATH_MAX] = {};
    char real[PATH_MAX] = {};
    return ::realpath("/proc/self/exe", self) && ::realpath(platform::OwnFolder().c_str(), real) &&
           std::string(real) + "/KOVARI" == self;
}

// With the system-wide install active, only the processes of its filtered
// accounts are the host's; every other process goes straight to the C library
// and never loads a provider. Decided once, on the first call.
bool ProcessFiltered() {
    static const bool filtered = [] {
        HostGuard guard;
        const platform::SystemInstall& install = platform::SystemWideInstall();
        return !install.active || (install.filtered && !IsTheService());
    }();
    return filtered;
}

bool Routed(int domain) {
    return (domain == AF_INET || domain == AF_INET6) && Bridged() && ProcessFiltered();
}

std::uint32_t ClampLength(std::size_t length) {
    constexpr std::size_t kMax = std::numeric_limits<std::int32_t>::max();
    return std::uint32_t(length > kMax ? kMax : length);
}

int FailWith(int wsaError) {
    int noted = NotedSystemError();
    errno = (noted != 0 && platform::WsaErrorFromErrno(noted) == wsaError)
                ? noted
                : platform::ErrnoFromWsaError(wsaError);
    return -1;
}

int BridgeSocket(int domain, int type, int protocol) {
    int baseType = type & ~(SOCK_NONBLOCK | SOCK_CLOEXEC);
    WSAPROTOCOL_INFOW entry{};
    if (!ChooseEntry(CatalogFamily(domain), baseType, protocol, entry)) {
        return Libc().socket(domain, type, protocol);
    }
    ClearNotes();
    int error = 0;
    SOCKET s = CreateSocket(CatalogFamily(domain), baseType, protocol, &entry, 0,
                            (type & SOCK_CLOEXEC) != 0, &error);
    if (s == INVALID_SOCKET) {
        return FailWith(error);
    }
    if (type & SOCK_NONBLOCK) {
        ::fcntl(int(s), F_SETFL, ::fcntl(int(s), F_GETFL) | O_NONBLOCK);
    }
    return int(s);
}

int BridgeAccept(int fd, sockaddr* address, socklen_t* length, int flags) {
    ClearNotes();
    int error = 0;
    int addressLength = length ? int(*length) : 0;
    SOCKET s = Accept(SOCKET(fd), address, length ? &addressLength : nullptr, nullptr, 0,
                      (flags & SOCK_CLOEXEC) != 0, &error);
    if (s == INVALID_SOCKET) {
        return FailWith(error);
    }
    if (length) {
        *length = socklen_t(addressLength);
    }
    if (flags & SOCK_NONBLOCK) {
        ::fcntl(int(s), F_SETFL, ::fcntl(int(s), F_GETFL) | O_NONBLOCK);
    }
    return int(s);
}

int Connect(const Target& target, const sockaddr* address, socklen_t length) {
    ClearNotes();
    int error = 0;
    if (target.provider->procs.lpWSPConnect(target.socket, address, int(length), nullptr, nullptr,
                                            nullptr, nullptr, &error) == SOCKET_ERROR) {
        if (error == WSAEWOULDBLOCK) {
            errno = EINPROGRESS; // a non-blocking connect under way
            return -1;
        }
        return FailWith(error);
    }
    return 0;
}

ssize_t Send(const Target& target, WSABUF* buffers, DWORD count, int flags, const sockaddr* address,
             socklen_t addressLength) {
    ClearNotes();
    DWORD sent = 0;
    int error = 0;
    const WSPPROC_TABLE& procs = target.provider->procs;
    int result =
        address ? procs.lpWSPSendTo(target.socket, buffers, count, &sent, DWORD(flags), address,
                                    int(addressLength), nullptr, nullptr, nullptr, &error)
                : procs.lpWSPSend(target.socket, buffers, count, &sent, DWORD(flags), nullptr,
                                  nullptr, nullptr, &error);
    return result == SOCKET_ERROR ? FailWith(error) : ssize_t(sent);
}

ssize_t Recv(const Target& target, WSABUF* buffers, DWORD count, int flags, sockaddr* address,
             socklen_t* addressLength) {
    ClearNotes();
    DWORD received = 0;
    DWORD inOutFlags = DWORD(flags);
    int error = 0;
    const WSPPROC_TABLE& procs = target.provider->procs;
    int result = 0;
    if (address && addressLength) {
        int length = int(*addressLength);
        result = procs.lpWSPRecvFrom(target.socket, buffers, count, &received, &inOutFlags, address,
                                     &length, nullptr, nullptr, nullptr, &error);
        *addressLength = socklen_t(length);
    } else {
        result = procs.lpWSPRecv(target.socket, buffers, count, &received, &inOutFlags, nullptr,
                                 nullptr, nullptr, &error);
    }
    return result == SOCKET_ERROR ? FailWith(error) : ssize_t(received);
}

namespace {

// Control data goes down through the provider's message-send extension, so the
// provider decides these sends as it decides every other.
ssize_t SendWithControl(const Target& target, const msghdr* message, int flags) {
    ClearNotes();
    GUID id = WSAID_WSASENDMSG;
    LPFN_WSASENDMSG sendMessage = nullptr;
    DWORD returned = 0;
    int error = 0;
    if (target.provider->procs.lpWSPIoctl(target.socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &id,
                                          sizeof id, &sendMessage, sizeof sendMessage, &returned,
                                          nullptr, nullptr, nullptr, &error) == SOCKET_ERROR) {
        return FailWith(error);
    }
    Buffers buffers(message);
    WSAMSG wsaMessage{
        static_cast<sockaddr*>(message->msg_name),
        message->msg_name ? int(message->msg_namelen) : 0,
        buffers.data(),
        buffers.count(),
        {ClampLength(message->msg_controllen), static_cast<char*>(message->msg_control)},
        0};
    DWORD sent = 0;
    if (sendMessage(target.socket, &wsaMessage, DWORD(flags), &sent, nullptr, nullptr) ==
        SOCKET_ERROR) {
        return FailWith(WSAGetLastError());
    }
    return ssize_t(sent);
}

} // namespace

ssize_t SendMessage(const Target& target, const msghdr* message, int flags) {
    if (message->msg_control && message->msg_controllen > 0) {
        return SendWithControl(target, message, flags);
    }
    Buffers buffers(message);
    return Send(target, buffers.data(), buffers.count(), flags,
                static_cast<const sockaddr*>(message->msg_name), message->msg_namelen);
}

int SendMessages(const Target& target, mmsghdr* messages, unsigned int count, int flags) {
    constexpr unsigned int kMostAtOnce = 1024; // the kernel's own bound
    unsigned int done = 0;
    for (; done < std::min(count, kMostAtOnce); ++done) {
        ssize_t sent = SendMessage(target, &messages[done].msg_hdr, flags);
        if (sent < 0) {
            break;
        }
        messages[done].msg_len = unsigned(sent);
    }
    // As the kernel does: the count sent, or -1 (errno set) when the first fails.
    return done > 0 || count == 0 ? int(done) : -1;
}

ssize_t RecvMessage(const Target& target, msghdr* message, int flags) {
    Buffers buffers(message);
    socklen_t nameLength = message->msg_namelen;
    ssize_t result =
        Recv(target, buffers.data(), buffers.count(), flags,
             static_cast<sockaddr*>(message->msg_name), message->msg_name ? &nameLength : nullptr);
    message->msg_namelen = nameLength;
    message->msg_flags = 0;
    return result;
}

} // namespace sockhost
