#pragma once
// Overlapped calls of the base provider: an operation is filled in by its
// caller, then started here for the issuing thread.

#include "platform/msafd/io_engine.h"

#include <sys/uio.h>
#include <vector>

namespace msafd {

// Starts an operation for the caller: 0 when it completed at once (*bytes and
// *flags filled, the completion is delivered as well), SOCKET_ERROR with
// WSA_IO_PENDING or the error that kept it from starting.
int StartOverlapped(std::unique_ptr<PendingOp> op, WSAOVERLAPPED* overlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE routine, WSATHREADID* thread, DWORD* bytes,
                    DWORD* flags, int* lpErrno);

// Buffers still to be sent or filled: a copy of the caller's descriptors
// (which may live on the caller's stack).
class Buffers {
  public:
    Buffers() = default;
    Buffers(const WSABUF* buffers, DWORD count);
    void Add(const void* data, std::size_t length);
    iovec* parts() { return parts_.data() + first_; }
    int count() const { return int(parts_.size() - first_); }
    bool empty() const { return first_ == parts_.size(); }
    // Drops what was sent.
    void Consume(std::size_t length);

  private:
    std::vector<iovec> parts_;
    std::size_t first_ = 0;
};

int OverlappedReceive(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                      DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                      LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                      WSATHREADID* lpThreadId, int* lpErrno);
int OverlappedSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
                   DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
                   LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                   int* lpErrno);

// Starts the operation with a record, else runs it to its end on this thread;
// FALSE with the socket layer's last error when it failed.
BOOL RunExtension(std::unique_ptr<PendingOp> op, WSAOVERLAPPED* overlapped, DWORD* bytes);

// A non-blocking send of the buffers: -1 with errno, else the bytes sent.
ssize_t SendSome(SOCKET s, Buffers& buffers, int flags);

} // namespace msafd
