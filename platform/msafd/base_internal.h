#pragma once
// Shared pieces of the base provider: the C library's own calls (past the
// socket host's interposed symbols), failure reporting, and the count of calls
// in progress per socket.

#include "platform/sockhost/kernel_socket.h"
#include "platform/winsock_spi.h"

namespace msafd {

inline const sockhost::LibcCalls& Libc() {
    return *qm_sockhost_libc();
}

// The upcall table of the latest WSPStartup.
const WSPUPCALLTABLE& Upcalls();
void KeepUpcalls(const WSPUPCALLTABLE& upcalls);

// Reports the current errno the Winsock way and notes it for POSIX callers.
int FailFromErrno(int* lpErrno);
int Fail(int* lpErrno, int error);

// A send to its end on the calling thread (as the socket blocks or not), with
// the address and the control data when given; 0 or SOCKET_ERROR.
int SendNow(SOCKET s, WSABUF* buffers, DWORD count, DWORD flags, const sockaddr* to, int toLength,
            const WSABUF* control, DWORD* sent, int* lpErrno);

// The kernel number of a catalog family (AF_INET6_W and AF_INET_W), or -1.
int KernelFamily(int family);

// Counts a call in progress on a socket for its lifetime; a close while calls
// are in progress shuts the socket down first, which wakes them.
class CallInProgress {
  public:
    explicit CallInProgress(SOCKET s);
    ~CallInProgress();
    CallInProgress(const CallInProgress&) = delete;
    CallInProgress& operator=(const CallInProgress&) = delete;

  private:
    SOCKET socket_;
};
bool CallsInProgress(SOCKET s);

} // namespace msafd
