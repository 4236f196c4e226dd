#include "platform/sockhost/kernel_socket.h"

#include "platform/sockhost/providers.h"

#include "platform/sockhost/providers.h"

namespace sockhost {
namespace {

__attribute__((tls_model("initial-exec"))) thread_local int tKernelSocket = -1;
__attribute__((tls_model("initial-exec"))) thread_local int tSystemError = 0;
__attribute__((tls_model("initial-exec"))) thread_local bool tCloseOnExec = true;

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
