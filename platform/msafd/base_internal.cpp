#include "platform/msafd/base_internal.h"

#include "platform/wsa_errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/socket.h>

namespace msafd {
namespace {

constexpr SOCKET kTracked = 1 << 16;
std::atomic<std::uint16_t> gCalls[kTracked];

// The socket layer's table, kept by value: nothing to free when the library
// is unloaded, and nothing freed under a thread still running at exit.
WSPUPCALLTABLE gUpcalls{};

} // namespace

const WSPUPCALLTABLE& Upcalls() {
    return gUpcalls;
}

// Written only when a start-up hands in a different table: every thread of
// the provider reads it.
void KeepUpcalls(const WSPUPCALLTABLE& upcalls) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (std::memcmp(&gUpcalls, &upcalls, sizeof upcalls) != 0) {
        gUpcalls = upcalls;
    }
}

int FailFromErrno(int* lpErrno) {
    int error = errno;
    qm_sockhost_note_system_error(error);
    *lpErrno = platform::WsaErrorFromErrno(error);
    return SOCKET_ERROR;
}

int Fail(int* lpErrno, int error) {
    *lpErrno = error;
    return SOCKET_ERROR;
}

int KernelFamily(int family) {
    switch (family) {
    case AF_INET_W:
        return AF_INET;
    case AF_INET6_W:
        return AF_INET6;
    default:
        return -1;
    }
}

CallInProgress::CallInProgress(SOCKET s) : socket_(s) {
    if (s < kTracked) {
        gCalls[s].fetch_add(1, std::memory_order_relaxed);
    }
}

CallInProgress::~CallInProgress() {
    if (socket_ < kTracked) {
        gCalls[socket_].fetch_sub(1, std::memory_order_relaxed);
    }
}

bool CallsInProgress(SOCKET s) {
    return s >= kTracked || gCalls[s].load(std::memory_order_relaxed) != 0;
}

} // namespace msafd
