// The POSIX socket calls of unmodified programs, routed into the catalog's
// providers. A socket of a family and type the catalog serves is made through
// its provider; every later call on that handle goes to the provider's
// procedure table. Every other descriptor, every call made while the host or a
// provider starts up (the per-thread guard), and every call in a child that
// shares the parent's memory without being told of the fork (vfork) goes
// straight to the C library.

#include "platform/sockhost/bridge_support.h"
#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/libc_calls.h"
#include "platform/sockhost/providers.h"
#include "platform/sockhost/socket_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sockhost;

#define QM_BRIDGE extern "C" __attribute__((visibility("default")))

namespace {

// A receive into one buffer.
ssize_t RecvOne(const Target& target, void* buffer, size_t length, int flags) {
    WSABUF wsabuf{ClampLength(length), static_cast<char*>(buffer)};
    return Recv(target, &wsabuf, 1, flags, nullptr, nullptr);
}

ssize_t SendOne(const Target& target, const void* buffer, size_t length, int flags) {
    WSABUF wsabuf{ClampLength(length), static_cast<char*>(const_cast<void*>(buffer))};
    return Send(target, &wsabuf, 1, flags, nullptr, 0);
}

int CloseHandle(int fd) {
    if (!Ours(fd)) {
        errno = EBADF; // closed by the program already, released by its provider soon
        return -1;
    }
    int error = 0;
    if (CloseSocket(SOCKET(fd), true, &error) == SOCKET_ERROR) {
        return FailWith(error);
    }
    return 0;
}

// Before a number is replaced by dup2/dup3, the socket behind it is closed and
// its table entry cleared.
void ReleaseTarget(int fd) {
    TakeInherited(SOCKET(fd)); // an inherited socket never used is the C library's to close
    if (!HandlePending(SOCKET(fd))) {
        return;
    }
    if (Ours(fd)) {
        int error = 0;
        CloseSocket(SOCKET(fd), true, &error);
    }
    AwaitRelease(SOCKET(fd));
}

} // namespace

QM_BRIDGE int socket(int domain, int type, int protocol) {
    const LibcCalls& libc = Libc();
    if (!Routed(domain)) {
        return libc.socket(domain, type, protocol);
    }
    return BridgeSocket(domain, type, protocol);
}

QM_BRIDGE int connect(int fd, const sockaddr* address, socklen_t length) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().connect(fd, address, length);
    }
    return Connect(target, address, length);
}

QM_BRIDGE ssize_t send(int fd, const void* buffer, size_t length, int flags) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().send(fd, buffer, length, flags);
    }
    return SendOne(target, buffer, length, flags);
}

QM_BRIDGE ssize_t sendto(int fd, const void* buffer, size_t length, int flags,
                         const sockaddr* address, socklen_t addressLength) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().sendto(fd, buffer, length, flags, address, addressLength);
    }
    WSABUF wsabuf{ClampLength(length), static_cast<char*>(const_cast<void*>(buffer))};
    return Send(target, &wsabuf, 1, flags, address, addressLength);
}

QM_BRIDGE ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().sendmsg(fd, message, flags);
    }
    return SendMessage(target, message, flags);
}

QM_BRIDGE int sendmmsg(int fd, mmsghdr* messages, unsigned int count, int flags) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().sendmmsg(fd, messages, count, flags);
    }
    return SendMessages(target, messages, count, flags);
}

QM_BRIDGE ssize_t recv(int fd, void* buffer, size_t length, int flags) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().recv(fd, buffer, length, flags);
    }
    return RecvOne(target, buffer, length, flags);
}

QM_BRIDGE ssize_t recvfrom(int fd, void* buffer, size_t length, int flags, sockaddr* address,
                           socklen_t* addressLength) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().recvfrom(fd, buffer, length, flags, address, addressLength);
    }
    WSABUF wsabuf{ClampLength(length), static_cast<char*>(buffer)};
    return Recv(target, &wsabuf, 1, flags, address, addressLength);
}

QM_BRIDGE ssize_t recvmsg(int fd, msghdr* message, int flags) {
    Target target;
    if (!Find(fd, target) || message->msg_controllen > 0) {
        return Libc().recvmsg(fd, message, flags);
    }
    return RecvMessage(target, message, flags);
}

QM_BRIDGE ssize_t read(int fd, void* buffer, size_t length) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().read(fd, buffer, length);
    }
    return RecvOne(target, buffer, length, 0);
}

QM_BRIDGE ssize_t write(int fd, const void* buffer, size_t length) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().write(fd, buffer, length);
    }
    return SendOne(target, buffer, length, 0);
}

QM_BRIDGE ssize_t readv(int fd, const iovec* vector, int count) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().readv(fd, vector, count);
    }
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(vector);
    message.msg_iovlen = size_t(count);
    return RecvMessage(target, &message, 0);
}

QM_BRIDGE ssize_t writev(int fd, const iovec* vector, int count) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().writev(fd, vector, count);
    }
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(vector);
    message.msg_iovlen = size_t(count);
    return SendMessage(target, &message, 0);
}

QM_BRIDGE int accept(int fd, sockaddr* address, socklen_t* length) {
    if (!Ours(fd)) {
        return Libc().accept(fd, address, length);
    }
    return BridgeAccept(fd, address, length, 0);
}

QM_BRIDGE int accept4(int fd, sockaddr* address, socklen_t* length, int flags) {
    if (!Ours(fd)) {
        return Libc().accept4(fd, address, length, flags);
    }
    return BridgeAccept(fd, address, length, flags);
}

QM_BRIDGE int shutdown(int fd, int how) {
    Target target;
    if (!Find(fd, target)) {
        return Libc().shutdown(fd, how);
    }
    int error = 0;
    if (target.provider->procs.lpWSPShutdown(target.socket, how, &error) == SOCKET_ERROR) {
        return FailWith(error);
    }
    return 0;
}

QM_BRIDGE int close(int fd) {
    if (!Bridged() || !HandlePending(SOCKET(fd))) {
        if (Bridged()) {
            TakeInherited(SOCKET(fd)); // inherited and never used: the C library closes it
        }
        return Libc().close(fd);
    }
    return CloseHandle(fd);
}

QM_BRIDGE int close_range(unsigned first, unsigned last, int flags) {
    const LibcCalls& libc = Libc();
    if (Bridged() && !(flags & CLOSE_RANGE_CLOEXEC)) {
        std::size_t high = HandleHighWater();
        for (std::size_t fd = first; fd <= last && fd < high; ++fd) {
            ReleaseTarget(int(fd));
        }
    }
    if (libc.close_range) {
        return libc.close_range(first, last, flags);
    }
    return int(libc.syscall(SYS_close_range, first, last, flags));
}

QM_BRIDGE int dup2(int oldfd, int newfd) {
    if (Bridged() && oldfd != newfd && ::fcntl(oldfd, F_GETFD) >= 0) {
        ReleaseTarget(newfd);
    }
    return Libc().dup2(oldfd, newfd);
}

QM_BRIDGE int dup3(int oldfd, int newfd, int flags) {
    if (Bridged() && oldfd != newfd && ::fcntl(oldfd, F_GETFD) >= 0) {
        ReleaseTarget(newfd);
    }
    return Libc().dup3(oldfd, newfd, flags);
}

QM_BRIDGE ssize_t __recv_chk(int fd, void* buffer, size_t length, size_t bufferLength, int flags) {
    Target target;
    if (length > bufferLength || !Find(fd, target)) {
        return Libc().recv_chk(fd, buffer, length, bufferLength, flags);
    }
    return RecvOne(target, buffer, length, flags);
}

QM_BRIDGE ssize_t __recvfrom_chk(int fd, void* buffer, size_t length, size_t bufferLength,
                                 int flags, sockaddr* address, socklen_t* addressLength) {
    Target target;
    if (length > bufferLength || !Find(fd, target)) {
        return Libc().recvfrom_chk(fd, buffer, length, bufferLength, flags, address, addressLength);
    }
    WSABUF wsabuf{ClampLength(length), static_cast<char*>(buffer)};
    return Recv(target, &wsabuf, 1, flags, address, addressLength);
}

QM_BRIDGE ssize_t __read_chk(int fd, void* buffer, size_t length, size_t bufferLength) {
    Target target;
    if (length > bufferLength || !Find(fd, target)) {
        return Libc().read_chk(fd, buffer, length, bufferLength);
    }
    return RecvOne(target, buffer, length, 0);
}
