#include "platform/sockhost/kernel_socket.h"

#include "platform/sockhost/providers.h"

#include <fcntl.h>

namespace sockhost {
namespace {

__attribute__((tls_model("initial-exec"))) thread_local int tKernelSocket = -1;
__attribute__((tls_model("initial-exec"))) thread_local int tSystemError = 0;
__attribute__((tls_model("initial-exec"))) thread_local bool tCloseOnExec = true;
__attribute__((tls_model("initial-exec"))) thread_local int tAdoptionTarget = -1;

} // namespace

int NotedKernelSocket() {
    return tKernelSocket;
}
int NotedSystemError() {
    return tSystemError;
}

void ClearNotes() {
    tKernelSocket = -1;
    tSystemError = 0;
}

bool WantCloseOnExec() {
    return tCloseOnExec;
}

CreationScope::CreationScope(bool closeOnExec) : previous_(tCloseOnExec) {
    tCloseOnExec = closeOnExec;
}
CreationScope::~CreationScope() {
    tCloseOnExec = previous_;
}

int AdoptionTarget() {
    return tAdoptionTarget;
}

AdoptionScope::AdoptionScope(int handle) {
    tAdoptionTarget = handle;
}
AdoptionScope::~AdoptionScope() {
    tAdoptionTarget = -1;
}

int HandleFor(int own, bool closeOnExec) {
    int target = tAdoptionTarget;
    if (target < 0) {
        return ::fcntl(own, closeOnExec ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
    }
    // The provider's new socket is replaced by the inherited one, under both numbers.
    Libc().dup3(target, own, O_CLOEXEC);
    return target;
}

} // namespace sockhost

extern "C" {

void qm_sockhost_note_kernel_socket(int fd) {
    sockhost::tKernelSocket = fd;
}
void qm_sockhost_note_system_error(int error) {
    sockhost::tSystemError = error;
}
const sockhost::LibcCalls* qm_sockhost_libc() {
    return &sockhost::Libc();
}
const WSPUPCALLTABLE* qm_sockhost_upcalls() {
    return &sockhost::Upcalls();
}
}
