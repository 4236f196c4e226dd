// The extension functions of the base provider over POSIX sockets. Each runs as
// an overlapped operation when given an overlapped record, else to its end on
// the calling thread. Failures return FALSE with the socket layer's last error.

#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_overlapped.h"
#include "platform/msafd/base_procs.h"
#include "platform/sockhost/winsock_api.h"
#include "platform/winsock_ext.h"
#include "platform/wsa_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace msafd {
namespace {

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

bool ErrnoOutcome(Outcome& outcome) {
    outcome.error = platform::WsaErrorFromErrno(errno);
    return true;
}

bool Ready(SOCKET s, short events) {
    pollfd polled{int(s), events, 0};
    return ::poll(&polled, 1, 0) == 1;
}

// Runs an operation to its end on this thread (no overlapped record).
Outcome RunNow(PendingOp& op) {
    Outcome outcome;
    while (!op.Attempt(outcome)) {
        pollfd polled{int(op.socket), short(op.write ? POLLOUT : POLLIN), 0};
        ::poll(&polled, 1, -1);
    }
    return outcome;
}

} // namespace

BOOL RunExtension(std::unique_ptr<PendingOp> op, WSAOVERLAPPED* overlapped, DWORD* bytes) {
    if (overlapped) {
        int error = 0;
        if (StartOverlapped(std::move(op), overlapped, nullptr, nullptr, bytes, nullptr, &error) ==
            0) {
            return TRUE;
        }
        WSASetLastError(error);
        return FALSE;
    }
    Outcome outcome = RunNow(*op);
    if (bytes) {
        *bytes = outcome.bytes;
    }
    if (outcome.error) {
        WSASetLastError(outcome.error);
        return FALSE;
    }
    return TRUE;
}

namespace {

// An address block of AcceptEx's output: its length, then the address.
void WriteAddress(char* block, DWORD size, const sockaddr_storage& address, socklen_t length) {
    std::int32_t stored = std::int32_t(std::min<std::size_t>(length, size - sizeof stored));
    std::memcpy(block, &stored, sizeof stored);
    std::memcpy(block + sizeof stored, &address, std::size_t(stored));
}

class AcceptOp : public PendingOp {
  public:
    AcceptOp(SOCKET listening, SOCKET accepting, char* output, DWORD receive, DWORD local,
             DWORD remote)
        : accepting_(accepting), output_(output), receive_(receive), local_(local),
          remote_(remote) {
        socket = listening;
    }

    bool Attempt(Outcome& outcome) override {
        if (socket != accepting_) {
            if (!Ready(socket, POLLIN)) {
                return false;
            }
            int fd = Libc().accept4(int(socket), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                return WouldBlock() ? false : ErrnoOutcome(outcome);
            }
            bool replaced = qm_sockhost_replace_socket(int(accepting_), fd) == 0;
            Libc().close(fd);
            if (!replaced) {
                outcome.error = WSAENOTSOCK;
                return true;
            }
            WriteAddresses();
            socket = accepting_;
            if (receive_ == 0) {
                return true;
            }
        }
        ssize_t received = Libc().recv(int(socket), output_, receive_, MSG_DONTWAIT);
        if (received < 0) {
            return WouldBlock() ? false : ErrnoOutcome(outcome);
        }
        outcome.bytes = DWORD(received);
        return true;
    }

  private:
    void WriteAddresses() {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getsockname(int(accepting_), reinterpret_cast<sockaddr*>(&address), &length);
        WriteAddress(output_ + receive_, local_, address, length);
        length = sizeof address;
        ::getpeername(int(accepting_), reinterpret_cast<sockaddr*>(&address), &length);
        WriteAddress(output_ + receive_ + local_, remote_, address, length);
    }
    SOCKET accepting_;
    char* output_;
    DWORD receive_;
    DWORD local_;
    DWORD remote_;
};

BOOL AcceptEx(SOCKET sListenSocket, SOCKET sAcceptSocket, void* lpOutputBuffer,
              DWORD dwReceiveDataLength, DWORD dwLocalAddressLength, DWORD dwRemoteAddressLength,
              DWORD* lpdwBytesReceived, WSAOVERLAPPED* lpOverlapped) {
    constexpr DWORD kLeast = sizeof(sockaddr_in) + 16;
    if (!lpOutputBuffer || dwLocalAddressLength < kLeast || dwRemoteAddressLength < kLeast) {
        WSASetLastError(WSAEFAULT);
        return FALSE;
    }
    return RunExtension(std::make_unique<AcceptOp>(
                            sListenSocket, sAcceptSocket, static_cast<char*>(lpOutputBuffer),
                            dwReceiveDataLength, dwLocalAddressLength, dwRemoteAddressLength),
                        lpOverlapped, lpdwBytesReceived);
}

void ReadAddress(char* block, sockaddr** address, int* length) {
    std::int32_t stored = 0;
    std::memcpy(&stored, block, sizeof stored);
    *address = reinterpret_cast<sockaddr*>(block + sizeof stored);
    *length = stored;
}

void GetAcceptExSockaddrs(void* lpOutputBuffer, DWORD dwReceiveDataLength,
                          DWORD dwLocalAddressLength, DWORD dwRemoteAddressLength,
                          sockaddr** LocalSockaddr, int* LocalSockaddrLength,
                          sockaddr** RemoteSockaddr, int* RemoteSockaddrLength) {
    (void)dwRemoteAddressLength;
    char* output = static_cast<char*>(lpOutputBuffer);
    ReadAddress(output + dwReceiveDataLength, LocalSockaddr, LocalSockaddrLength);
    ReadAddress(output + dwReceiveDataLength + dwLocalAddressLength, RemoteSockaddr,
                RemoteSockaddrLength);
}

// Connects without blocking, then sends the first data.
class ConnectOp : public PendingOp {
  public:
    ConnectOp(SOCKET s, const sockaddr* name, int length, void* data, DWORD dataLength)
        : length_(socklen_t(std::min<std::size_t>(std::size_t(length), sizeof name_))) {
        socket = s;
        write = true;
        std::memcpy(&name_, name, length_);
        data_.Add(data, dataLength);
    }

    bool Attempt(Outcome& outcome) override {
        if (phase_ == Phase::Start) {
            flags_ = ::fcntl(int(socket), F_GETFL);
            ::fcntl(int(socket), F_SETFL, flags_ | O_NONBLOCK);
            phase_ = Phase::Connecting;
            if (Libc().connect(int(socket), reinterpret_cast<sockaddr*>(&name_), length_) != 0 &&
                errno != EINPROGRESS) {
                ::fcntl(int(socket), F_SETFL, flags_);
                return ErrnoOutcome(outcome);
            }
        }
        if (phase_ == Phase::Connecting) {
            if (!Ready(socket, POLLOUT)) {
                return false;
            }
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(int(socket), SOL_SOCKET, SO_ERROR, &error, &size);
            ::fcntl(int(socket), F_SETFL, flags_);
            if (error) {
                outcome.error = platform::WsaErrorFromErrno(error);
                return true;
            }
            phase_ = Phase::Sending;
        }
        while (!data_.empty()) {
            ssize_t sent = SendSome(socket, data_, 0);
            if (sent < 0) {
                return WouldBlock() ? false : ErrnoOutcome(outcome);
            }
            sent_ += DWORD(sent);
        }
        outcome.bytes = sent_;
        return true;
    }

  private:
    enum class Phase { Start, Connecting, Sending };
    Phase phase_ = Phase::Start;
    sockaddr_storage name_{};
    socklen_t length_;
    Buffers data_;
    int flags_ = 0;
    DWORD sent_ = 0;
};

BOOL ConnectEx(SOCKET s, const sockaddr* name, int namelen, void* lpSendBuffer,
               DWORD dwSendDataLength, DWORD* lpdwBytesSent, WSAOVERLAPPED* lpOverlapped) {
    if (!name || namelen <= 0) {
        WSASetLastError(WSAEFAULT);
        return FALSE;
    }
    return RunExtension(
        std::make_unique<ConnectOp>(s, name, namelen, lpSendBuffer, dwSendDataLength), lpOverlapped,
        lpdwBytesSent);
}

// Shuts the connection down; with TF_REUSE_SOCKET the socket becomes a fresh,
// unconnected one of the same kind.
class DisconnectOp : public PendingOp {
  public:
    DisconnectOp(SOCKET s, DWORD flags) : flags_(flags) { socket = s; }
    bool Attempt(Outcome& outcome) override {
        if (Libc().shutdown(int(socket), SHUT_RDWR) != 0 && errno != ENOTCONN) {
            return ErrnoOutcome(outcome);
        }
        if (flags_ & TF_REUSE_SOCKET) {
            sockaddr_storage own{};
            socklen_t length = sizeof own;
            int type = 0;
            socklen_t size = sizeof type;
            ::getsockname(int(socket), reinterpret_cast<sockaddr*>(&own), &length);
            ::getsockopt(int(socket), SOL_SOCKET, SO_TYPE, &type, &size);
            int fresh = Libc().socket(own.ss_family, type | SOCK_CLOEXEC, 0);
            if (fresh < 0) {
                return ErrnoOutcome(outcome);
            }
            qm_sockhost_replace_socket(int(socket), fresh);
            Libc().close(fresh);
        }
        return true;
    }

  private:
    DWORD flags_;
};

BOOL DisconnectEx(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags, DWORD dwReserved) {
    if (dwReserved != 0) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
    return RunExtension(std::make_unique<DisconnectOp>(s, dwFlags), lpOverlapped, nullptr);
}

// A receive with the sender's address and control data; the control data is
// the kernel's, as received.
class ReceiveMessageOp : public PendingOp {
  public:
    ReceiveMessageOp(SOCKET s, WSAMSG* message)
        : message_(message), buffers_(message->lpBuffers, message->dwBufferCount) {
        socket = s;
    }

    bool Attempt(Outcome& outcome) override {
        msghdr header{};
        header.msg_name = message_->name;
        header.msg_namelen = message_->name ? socklen_t(message_->namelen) : 0;
        header.msg_iov = buffers_.parts();
        header.msg_iovlen = std::size_t(buffers_.count());
        header.msg_control = message_->Control.len ? message_->Control.buf : nullptr;
        header.msg_controllen = message_->Control.len;
        ssize_t received =
            Libc().recvmsg(int(socket), &header, int(message_->dwFlags) | MSG_DONTWAIT);
        if (received < 0) {
            return WouldBlock() ? false : ErrnoOutcome(outcome);
        }
        message_->namelen = int(header.msg_namelen);
        message_->Control.len = std::uint32_t(header.msg_controllen);
        message_->dwFlags = DWORD(header.msg_flags);
        outcome.bytes = DWORD(received);
        outcome.flags = message_->dwFlags;
        return true;
    }

  private:
    WSAMSG* message_;
    Buffers buffers_;
};

int RecvMsg(SOCKET s, WSAMSG* lpMsg, DWORD* lpdwNumberOfBytesRecvd, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    if (!lpMsg) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    auto op = std::make_unique<ReceiveMessageOp>(s, lpMsg);
    if (lpOverlapped) {
        int error = 0;
        if (StartOverlapped(std::move(op), lpOverlapped, lpCompletionRoutine, nullptr,
                            lpdwNumberOfBytesRecvd, nullptr, &error) != 0) {
            WSASetLastError(error);
            return SOCKET_ERROR;
        }
        return 0;
    }
    Outcome outcome = RunNow(*op);
    if (outcome.error) {
        WSASetLastError(outcome.error);
        return SOCKET_ERROR;
    }
    if (lpdwNumberOfBytesRecvd) {
        *lpdwNumberOfBytesRecvd = outcome.bytes;
    }
    return 0;
}

// A send with control data, as the socket blocks or not. Only the calling
// thread's form is offered: the host's own sendmsg needs no other.
int SendMsg(SOCKET s, WSAMSG* lpMsg, DWORD dwFlags, DWORD* lpNumberOfBytesSent,
            WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
    int error = 0;
    if (!lpMsg || !lpNumberOfBytesSent) {
        error = WSAEFAULT;
    } else if (lpOverlapped) {
        error = WSAEOPNOTSUPP;
    } else if (SendNow(s, lpMsg->lpBuffers, lpMsg->dwBufferCount, dwFlags, lpMsg->name,
                       lpMsg->namelen, &lpMsg->Control, lpNumberOfBytesSent, &error) == 0) {
        return 0;
    }
    WSASetLastError(error);
    return SOCKET_ERROR;
}

struct Extension {
    GUID id;
    void* function;
};

const Extension kExtensions[] = {
    {WSAID_TRANSMITFILE, reinterpret_cast<void*>(LPFN_TRANSMITFILE(TransmitFile))},
    {WSAID_ACCEPTEX, reinterpret_cast<void*>(LPFN_ACCEPTEX(AcceptEx))},
    {WSAID_GETACCEPTEXSOCKADDRS,
     reinterpret_cast<void*>(LPFN_GETACCEPTEXSOCKADDRS(GetAcceptExSockaddrs))},
    {WSAID_CONNECTEX, reinterpret_cast<void*>(LPFN_CONNECTEX(ConnectEx))},
    {WSAID_DISCONNECTEX, reinterpret_cast<void*>(LPFN_DISCONNECTEX(DisconnectEx))},
    {WSAID_TRANSMITPACKETS, reinterpret_cast<void*>(LPFN_TRANSMITPACKETS(TransmitPackets))},
    {WSAID_WSARECVMSG, reinterpret_cast<void*>(LPFN_WSARECVMSG(RecvMsg))},
    {WSAID_WSASENDMSG, reinterpret_cast<void*>(LPFN_WSASENDMSG(SendMsg))},
};

} // namespace

bool ExtensionFunction(const GUID& id, void*& function) {
    for (const Extension& extension : kExtensions) {
        if (extension.id == id) {
            function = extension.function;
            return true;
        }
    }
    return false;
}

} // namespace msafd
