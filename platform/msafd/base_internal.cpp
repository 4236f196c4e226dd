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

std::atomic<const WSPUPCALLTABLE*> gUpcalls{nullptr};

} // namespace

const WSPUPCALLTABLE& Upcalls() {
    return *gUpcalls.load(std::memory_order_acquire);
}

void KeepUpcalls(const WSPUPCALLTABLE& upcalls) {
    // The host's table lives as long as the process; a copy is kept for any
    // other caller, never freed (start-ups are few).
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const WSPUPCALLTABLE* kept = gUpcalls.load(std::memory_order_relaxed);
    if (!kept || std::memcmp(kept, &upcalls, sizeof upcalls) != 0) {
        gUpcalls.store(new WSPUPCALLTABLE(upcalls), std::memory_order_release);
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
