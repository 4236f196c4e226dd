#include "platform/win/semaphore.h"

namespace platform::win {

bool Semaphore::Release(LONG count, LONG* previous) {
    std::lock_guard lock(KernelLock());
    if (count <= 0 || count > max_ - count_) {
        return false;
    }
    if (previous) {
        *previous = count_;
    }
    count_ += count;
    WakeWaiters();
    return true;
}

} // namespace platform::win

using platform::win::Semaphore;

HANDLE CreateSemaphoreA(void* lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                        const char* lpName) {
    (void)lpSemaphoreAttributes;
    if (lpName || lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return static_cast<platform::win::WaitObject*>(new Semaphore(lInitialCount, lMaximumCount));
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LONG* lpPreviousCount) {
    if (!hSemaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* semaphore = static_cast<Semaphore*>(static_cast<platform::win::WaitObject*>(hSemaphore));
    if (!semaphore->Release(lReleaseCount, lpPreviousCount)) {
        SetLastError(lReleaseCount <= 0 ? ERROR_INVALID_PARAMETER : ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    return TRUE;
}
