#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_overlapped.h"
#include "platform/msafd/base_procs.h"

#include <cerrno>
#include <sys/socket.h>
#include <vector>

namespace msafd {
namespace {

constexpr std::size_t kInlineBuffers = 16;

// A message header over the caller's buffers; small counts stay on the stack.
class Message {
  public:
    Message(WSABUF* buffers, DWORD count) {
        iovec* out = inline_;
        if (count > kInlineBuffers) {
            heap_.resize(count);
            out = heap_.data();
        }
        for (DWORD i = 0; i < count; ++i) {
            out[i].iov_base = buffers[i].buf;
            out[i].iov_len = buffers[i].len;
        }
        header_.msg_iov = out;
        header_.msg_iovlen = count;
    }
    msghdr& header() { return header_; }

  private:
    iovec inline_[kInlineBuffers];
    std::vector<iovec> heap_;
    msghdr header_{};
};

// One buffer without an address goes through recv or send, which spare the
// kernel the message header that recvmsg and sendmsg copy on every call.
ssize_t Receive(SOCKET s, WSABUF* buffers, DWORD count, int flags, sockaddr* from,
                socklen_t* fromLength) {
    if (count == 1 && !from) {
        return Libc().recv(int(s), buffers[0].buf, buffers[0].len, flags);
    }
    Message message(buffers, count);
    if (from) {
        message.header().msg_name = from;
        message.header().msg_namelen = *fromLength;
    }
    ssize_t received = Libc().recvmsg(int(s), &message.header(), flags);
    *fromLength = message.header().msg_namelen;
    return received;
}

ssize_t Transmit(SOCKET s, WSABUF* buffers, DWORD count, int flags, const sockaddr* to,
                 socklen_t toLength, const WSABUF* control) {
    bool withControl = control && control->len > 0;
    if (count == 1 && !to && !withControl) {
        return Libc().send(int(s), buffers[0].buf, buffers[0].len, flags);
    }
    Message message(buffers, count);
    if (to) {
        message.header().msg_name = const_cast<sockaddr*>(to);
        message.header().msg_namelen = toLength;
    }
    if (withControl) {
        message.header().msg_control = control->buf;
        message.header().msg_controllen = control->len;
    }
    return Libc().sendmsg(int(s), &message.header(), flags);
}

} // namespace

SOCKET WSPSocket(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g,
                 DWORD dwFlags, int* lpErrno) {
    (void)g;
    (void)dwFlags;
    if (lpProtocolInfo) {
        af = (af <= 0) ? lpProtocolInfo->iAddressFamily : af;
        type = (type <= 0) ? lpProtocolInfo->iSocketType : type;
        protocol = (protocol < 0) ? lpProtocolInfo->iProtocol : protocol;
    }
    int family = KernelFamily(af);
    if (family < 0) {
        Fail(lpErrno, WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    int fd = Libc().socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailFromErrno(lpErrno);
        return INVALID_SOCKET;
    }
    qm_sockhost_note_kernel_socket(fd);
    return SOCKET(fd);
}

SOCKET WSPAccept(SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC lpfnCondition,
                 DWORD_PTR dwCallbackData, int* lpErrno) {
    (void)lpfnCondition;
    (void)dwCallbackData;
    CallInProgress call(s);
    socklen_t length = addrlen ? socklen_t(*addrlen) : 0;
    int fd = Libc().accept4(int(s), addr, addrlen ? &length : nullptr, SOCK_CLOEXEC);
    int error = errno;
    Reenable(s, FD_ACCEPT_W);
    if (fd < 0) {
        errno = error;
        FailFromErrno(lpErrno);
        return INVALID_SOCKET;
    }
    InheritNotifications(s, SOCKET(fd));
    if (addrlen) {
        *addrlen = int(length);
    }
    qm_sockhost_note_kernel_socket(fd);
    return SOCKET(fd);
}

int WSPBind(SOCKET s, const sockaddr* name, int namelen, int* lpErrno) {
    return ::bind(int(s), name, socklen_t(namelen)) == 0 ? 0 : FailFromErrno(lpErrno);
}

int WSPListen(SOCKET s, int backlog, int* lpErrno) {
    if (::listen(int(s), backlog) != 0) {
        return FailFromErrno(lpErrno);
    }
    Listening(s);
    return 0;
}

// Overlapped operations still pending on the socket complete as aborted.
int WSPCloseSocket(SOCKET s, int* lpErrno) {
    return CloseSocketAndAbort(s) == 0 ? 0 : FailFromErrno(lpErrno);
}

int WSPConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, int* lpErrno) {
    (void)lpCallerData;
    (void)lpCalleeData;
    (void)lpSQOS;
    (void)lpGQOS;
    CallInProgress call(s);
    Connecting(s);
    if (Libc().connect(int(s), name, socklen_t(namelen)) == 0) {
        return 0;
    }
    if (errno == EINPROGRESS) {
        qm_sockhost_note_system_error(EINPROGRESS);
        return Fail(lpErrno, WSAEWOULDBLOCK);
    }
    return FailFromErrno(lpErrno);
}

int WSPGetPeerName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno) {
    socklen_t length = socklen_t(*namelen);
    if (::getpeername(int(s), name, &length) != 0) {
        return FailFromErrno(lpErrno);
    }
    *namelen = int(length);
    return 0;
}

int WSPGetSockName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno) {
    socklen_t length = socklen_t(*namelen);
    if (::getsockname(int(s), name, &length) != 0) {
        return FailFromErrno(lpErrno);
    }
    *namelen = int(length);
    return 0;
}

int WSPShutdown(SOCKET s, int how, int* lpErrno) {
    return Libc().shutdown(int(s), how) == 0 ? 0 : FailFromErrno(lpErrno);
}

int WSPRecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
            DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno) {
    return WSPRecvFrom(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, nullptr, nullptr,
                       lpOverlapped, lpCompletionRoutine, lpThreadId, lpErrno);
}

int WSPRecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                int* lpErrno) {
    if (lpOverlapped) {
        return OverlappedReceive(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, lpFrom,
                                 lpFromlen, lpOverlapped, lpCompletionRoutine, lpThreadId, lpErrno);
    }
    CallInProgress call(s);
    socklen_t fromLength = lpFrom && lpFromlen ? socklen_t(*lpFromlen) : 0;
    ssize_t received = Receive(s, lpBuffers, dwBufferCount, lpFlags ? int(*lpFlags) : 0,
                               lpFrom && lpFromlen ? lpFrom : nullptr, &fromLength);
    if (received < 0) {
        int error = errno;
        Reenable(s, FD_READ_W | FD_OOB_W);
        errno = error;
        return FailFromErrno(lpErrno);
    }
    Reenable(s, FD_READ_W | FD_OOB_W);
    if (lpFrom && lpFromlen) {
        *lpFromlen = int(fromLength);
    }
    *lpNumberOfBytesRecvd = DWORD(received);
    if (lpFlags) {
        *lpFlags = 0;
    }
    return 0;
}

int WSPSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
            DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno) {
    return WSPSendTo(s, lpBuffers, dwBufferCount, lpNumberOfBytesSent, dwFlags, nullptr, 0,
                     lpOverlapped, lpCompletionRoutine, lpThreadId, lpErrno);
}

int WSPSendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
              DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
              int* lpErrno) {
    if (lpOverlapped) {
        return OverlappedSend(s, lpBuffers, dwBufferCount, lpNumberOfBytesSent, dwFlags, lpTo,
                              iTolen, lpOverlapped, lpCompletionRoutine, lpThreadId, lpErrno);
    }
    return SendNow(s, lpBuffers, dwBufferCount, dwFlags, lpTo, iTolen, nullptr, lpNumberOfBytesSent,
                   lpErrno);
}

int SendNow(SOCKET s, WSABUF* buffers, DWORD count, DWORD flags, const sockaddr* to, int toLength,
            const WSABUF* control, DWORD* sent, int* lpErrno) {
    CallInProgress call(s);
    ssize_t done = Transmit(s, buffers, count, int(flags), to, socklen_t(toLength), control);
    if (done < 0) {
        int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            Reenable(s, FD_WRITE_W);
        }
        errno = error;
        return FailFromErrno(lpErrno);
    }
    *sent = DWORD(done);
    return 0;
}

} // namespace msafd
