#include "platform/msafd/base_overlapped.h"

#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_procs.h"
#include "platform/overlapped_record.h"
#include "platform/win/wait.h"
#include "platform/wsa_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>

namespace msafd {
namespace {

// An overlapped receive (with the sender's address for receive-from).
class ReceiveOp : public PendingOp {
  public:
    ReceiveOp(WSABUF* buffers, DWORD count, DWORD flags, sockaddr* from, int* fromLength)
        : buffers_(buffers, count), flags_(int(flags)), from_(from), fromLength_(fromLength) {}

    bool Attempt(Outcome& outcome) override {
        msghdr message{};
        message.msg_iov = buffers_.parts();
        message.msg_iovlen = std::size_t(buffers_.count());
        if (from_ && fromLength_) {
            message.msg_name = from_;
            message.msg_namelen = socklen_t(*fromLength_);
        }
        ssize_t received = Libc().recvmsg(int(socket), &message, flags_ | MSG_DONTWAIT);
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        if (received < 0) {
            outcome.error = platform::WsaErrorFromErrno(errno);
            return true;
        }
        if (from_ && fromLength_) {
            *fromLength_ = int(message.msg_namelen);
        }
        outcome.bytes = DWORD(received);
        return true;
    }

  private:
    Buffers buffers_;
    int flags_;
    sockaddr* from_;
    int* fromLength_;
};

// An overlapped send: complete when every byte has gone (stream sockets), or
// when the one datagram has.
class SendOp : public PendingOp {
  public:
    SendOp(WSABUF* buffers, DWORD count, DWORD flags, const sockaddr* to, int toLength)
        : buffers_(buffers, count), flags_(int(flags)), toLength_(to ? toLength : 0) {
        if (to && toLength > 0 && std::size_t(toLength) <= sizeof to_) {
            std::memcpy(&to_, to, std::size_t(toLength));
        }
        write = true;
    }

    bool Attempt(Outcome& outcome) override {
        msghdr message{};
        message.msg_iov = buffers_.parts();
        message.msg_iovlen = std::size_t(buffers_.count());
        if (toLength_) {
            message.msg_name = &to_;
            message.msg_namelen = socklen_t(toLength_);
        }
        ssize_t sent = Libc().sendmsg(int(socket), &message, flags_ | MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        if (sent < 0) {
            outcome.error = platform::WsaErrorFromErrno(errno);
            outcome.bytes = DWORD(sent_);
            return true;
        }
        sent_ += std::size_t(sent);
        buffers_.Consume(std::size_t(sent));
        outcome.bytes = DWORD(sent_);
        return buffers_.empty() || toLength_ != 0 || !IsStream();
    }

  private:
    bool IsStream() const {
        int type = 0;
        socklen_t length = sizeof type;
        return ::getsockopt(int(socket), SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
               type == SOCK_STREAM;
    }
    Buffers buffers_;
    int flags_;
    sockaddr_storage to_{};
    int toLength_;
    std::size_t sent_ = 0;
};

} // namespace

Buffers::Buffers(const WSABUF* buffers, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        Add(buffers[i].buf, buffers[i].len);
    }
}

void Buffers::Add(const void* data, std::size_t length) {
    if (length > 0) {
        parts_.push_back(iovec{const_cast<void*>(data), length});
    }
}

void Buffers::Consume(std::size_t length) {
    while (length > 0 && first_ < parts_.size()) {
        iovec& part = parts_[first_];
        std::size_t taken = std::min(length, part.iov_len);
        part.iov_base = static_cast<char*>(part.iov_base) + taken;
        part.iov_len -= taken;
        length -= taken;
        if (part.iov_len == 0) {
            ++first_;
        }
    }
}

ssize_t SendSome(SOCKET s, Buffers& buffers, int flags) {
    msghdr message{};
    message.msg_iov = buffers.parts();
    message.msg_iovlen = std::size_t(buffers.count());
    ssize_t sent = Libc().sendmsg(int(s), &message, flags | MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
        buffers.Consume(std::size_t(sent));
    }
    return sent;
}

int StartOverlapped(std::unique_ptr<PendingOp> op, WSAOVERLAPPED* overlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE routine, WSATHREADID* thread, DWORD* bytes,
                    DWORD* flags, int* lpErrno) {
    op->overlapped = overlapped;
    op->routine = routine;
    if (routine) {
        int ignored = 0;
        if (thread) {
            op->thread = *thread;
        } else if (Upcalls().lpWPUOpenCurrentThread(&op->thread, &ignored) != 0) {
            return Fail(lpErrno, WSAEINVAL);
        }
    }
    platform::MarkOverlappedPending(overlapped);
    Outcome now;
    int result = Submit(std::move(op), &now);
    if (result == 0) {
        if (bytes) {
            *bytes = now.bytes;
        }
        if (flags) {
            *flags = now.flags;
        }
        return 0;
    }
    if (result != WSA_IO_PENDING) {
        platform::StoreOverlappedResult(overlapped, DWORD(result), 0, 0);
    }
    return Fail(lpErrno, result);
}

int OverlappedReceive(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                      DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                      LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                      WSATHREADID* lpThreadId, int* lpErrno) {
    auto op = std::make_unique<ReceiveOp>(lpBuffers, dwBufferCount, lpFlags ? *lpFlags : 0, lpFrom,
                                          lpFromlen);
    op->socket = s;
    Reenable(s, FD_READ_W | FD_OOB_W);
    return StartOverlapped(std::move(op), lpOverlapped, lpCompletionRoutine, lpThreadId,
                           lpNumberOfBytesRecvd, lpFlags, lpErrno);
}

int OverlappedSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
                   DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
                   LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                   int* lpErrno) {
    auto op = std::make_unique<SendOp>(lpBuffers, dwBufferCount, dwFlags, lpTo, iTolen);
    op->socket = s;
    return StartOverlapped(std::move(op), lpOverlapped, lpCompletionRoutine, lpThreadId,
                           lpNumberOfBytesSent, nullptr, lpErrno);
}

// With a wait and no event, the record itself is watched.
BOOL WSPGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait,
                            DWORD* lpdwFlags, int* lpErrno) {
    (void)s;
    if (!lpOverlapped || !lpcbTransfer || !lpdwFlags) {
        *lpErrno = WSAEFAULT;
        return FALSE;
    }
    if (platform::OverlappedPending(lpOverlapped)) {
        if (!fWait) {
            *lpErrno = WSA_IO_INCOMPLETE;
            return FALSE;
        }
        if (lpOverlapped->hEvent) {
            WaitForSingleObject(lpOverlapped->hEvent, INFINITE);
        }
        while (platform::OverlappedPending(lpOverlapped)) {
            SleepEx(1, FALSE);
        }
    }
    *lpcbTransfer = DWORD(lpOverlapped->InternalHigh);
    *lpdwFlags = lpOverlapped->OffsetHigh;
    if (lpOverlapped->Offset != 0) {
        *lpErrno = int(lpOverlapped->Offset);
        return FALSE;
    }
    return TRUE;
}

// The socket becomes non-blocking, as the socket layer's asynchronous select
// makes it.
int WSPAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent, int* lpErrno) {
    if ((lEvent & ~FD_ALL_EVENTS_W) != 0 || (lEvent != 0 && !hWnd)) {
        return Fail(lpErrno, WSAEINVAL);
    }
    int flags = ::fcntl(int(s), F_GETFL);
    if (flags < 0 || ::fcntl(int(s), F_SETFL, flags | O_NONBLOCK) != 0) {
        return FailFromErrno(lpErrno);
    }
    SelectNotifications(s, hWnd, wMsg, lEvent);
    return 0;
}

} // namespace msafd
