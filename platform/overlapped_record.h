#pragma once
// How the socket host and its providers fill a program's overlapped record:
// Internal is WSS_OPERATION_IN_PROGRESS (259) from the start of the operation
// until it completes and 0 afterwards; InternalHigh holds the bytes
// transferred, Offset the Winsock error and OffsetHigh the flags. The state word
// is written last on completion and read first, so a reader that sees 0 also
// sees the results.

#include "platform/win/event.h"
#include "platform/winsock_spi.h"

#include <atomic>

namespace platform {

constexpr ULONG_PTR WSS_OPERATION_IN_PROGRESS = 259;

inline void MarkOverlappedPending(WSAOVERLAPPED* overlapped) {
    overlapped->InternalHigh = 0;
    std::atomic_ref(overlapped->Internal)
        .store(WSS_OPERATION_IN_PROGRESS, std::memory_order_release);
}

inline bool OverlappedPending(WSAOVERLAPPED* overlapped) {
    return std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire) ==
           WSS_OPERATION_IN_PROGRESS;
}

inline void StoreOverlappedResult(WSAOVERLAPPED* overlapped, DWORD error, DWORD bytes,
                                  DWORD flags) {
    overlapped->InternalHigh = bytes;
    overlapped->Offset = error;
    overlapped->OffsetHigh = flags;
    std::atomic_ref(overlapped->Internal).store(0, std::memory_order_release);
}

// Stores the results and sets the record's event, if it has one. The event is
// read before the record is marked done: after that the program may free both.
inline void CompleteOverlapped(WSAOVERLAPPED* overlapped, DWORD error, DWORD bytes, DWORD flags) {
    auto* event = static_cast<win::Event*>(static_cast<win::WaitObject*>(overlapped->hEvent));
    if (!event) {
        StoreOverlappedResult(overlapped, error, bytes, flags);
        return;
    }
    event->SetAfter([&] { StoreOverlappedResult(overlapped, error, bytes, flags); });
}

} // namespace platform
