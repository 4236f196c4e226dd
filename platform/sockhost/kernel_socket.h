#pragma once
// What a base provider tells the socket host about the call in progress on the
// calling thread: the kernel socket it has just made (WPUCreateSocketHandle
// duplicates it into the program's handle) and the system error of a failed
// call (so that a POSIX caller gets back the exact errno). Exported with C
// names: the base provider library calls them.

#include "platform/sockhost/libc_calls.h"
#include "platform/winsock_spi.h"

extern "C" {
void qm_sockhost_note_kernel_socket(int fd);
void qm_sockhost_note_system_error(int error);
const sockhost::LibcCalls* qm_sockhost_libc();
// The upcall table the host hands to providers (for tests that start a
// provider themselves).
const WSPUPCALLTABLE* qm_sockhost_upcalls();
// Points every descriptor of the host and the provider that stands for the same
// socket as target at the replacement socket; 0, or -1 when target is not open.
int qm_sockhost_replace_socket(int target, int replacement);
}

namespace sockhost {

// The kernel socket noted last on this thread, or -1.
int NotedKernelSocket();
// The system error noted since the last ClearNotes on this thread, or 0.
int NotedSystemError();
void ClearNotes();

// Whether handles made on this thread now are close-on-exec (the program's
// request), for the duration of one socket-creating call.
bool WantCloseOnExec();
class CreationScope {
  public:
    explicit CreationScope(bool closeOnExec);
    ~CreationScope();
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;

  private:
    bool previous_;
};

// While a forked child makes an inherited socket its own, the socket made
// for it on this thread takes the inherited number: HandleFor points the
// provider's new socket at the inherited one and returns that number.
// Otherwise it returns a new duplicate of own (close-on-exec as asked).
int AdoptionTarget();
int HandleFor(int own, bool closeOnExec);
class AdoptionScope {
  public:
    explicit AdoptionScope(int handle);
    ~AdoptionScope();
    AdoptionScope(const AdoptionScope&) = delete;
    AdoptionScope& operator=(const AdoptionScope&) = delete;
};

} // namespace sockhost
