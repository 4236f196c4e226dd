#pragma once
// The base provider's engine for overlapped operations and window
// notifications: one thread per process waits (epoll) on the sockets that have
// operations pending or notifications armed. Operations on one socket and in
// one direction run in the order they were issued. Completions go to the
// issuer's completion routine (an APC to the issuing thread) or to its
// overlapped record and event.

#include "platform/winsock_spi.h"

#include <memory>

namespace msafd {

struct Outcome {
    int error = 0; // Winsock code
    DWORD bytes = 0;
    DWORD flags = 0;
};

// One overlapped operation. Attempt tries it without blocking: true when it has
// finished (outcome filled, success or failure), false while it must wait for
// `socket` to become readable (or writable with `write`); it may change what it
// waits for between attempts.
class PendingOp {
  public:
    virtual ~PendingOp() = default;
    virtual bool Attempt(Outcome& outcome) = 0;

    SOCKET socket = INVALID_SOCKET;
    bool write = false;
    WSAOVERLAPPED* overlapped = nullptr;
    LPWSAOVERLAPPED_COMPLETION_ROUTINE routine = nullptr;
    WSATHREADID thread{};
};

// Completes an operation now: the routine queued to the issuing thread, or the
// record and its event.
void DeliverCompletion(WSAOVERLAPPED* overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
                       const WSATHREADID& thread, const Outcome& outcome);

// Runs the operation: tried at once, then whenever its socket is ready. Returns
// 0 when it finished at once with success (the completion is delivered all the
// same), the Winsock error when it failed at once (nothing is delivered), or
// WSA_IO_PENDING. *now receives the immediate outcome.
int Submit(std::unique_ptr<PendingOp> op, Outcome* now);

// Closes the socket; its pending operations complete with WSA_OPERATION_ABORTED
// and its notifications stop. Returns close's result.
int CloseSocketAndAbort(SOCKET s);

// Window notifications (the socket layer's asynchronous select): the events of
// the mask are posted to the window as (socket, WSAMAKESELECTREPLY(event, error))
// once each, until re-enabled by the call that consumes them. A mask of 0 stops.
void SelectNotifications(SOCKET s, HWND window, UINT message, long events);
// Re-enabling calls: receives (FD_READ, FD_OOB), sends that would block
// (FD_WRITE), accepts (FD_ACCEPT); connect and listen start watching.
void Reenable(SOCKET s, long events);
void Connecting(SOCKET s);
void Listening(SOCKET s);
// An accepted socket takes its listening socket's notifications.
void InheritNotifications(SOCKET listening, SOCKET accepted);

// Ends the engine thread at the provider's last clean-up; pending operations
// complete with WSA_OPERATION_ABORTED.
void StopEngine();

} // namespace msafd
