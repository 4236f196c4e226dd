#include "platform/win/wait.h"

#include "platform/win/kernel.h"

#include <chrono>

namespace platform::win {
namespace {

thread_local DWORD tLastError = 0;

using Clock = std::chrono::steady_clock;

// Runs the APCs queued so far, outside the lock, in the order they came.
void RunApcs(ThreadState& self, std::unique_lock<std::mutex>& lock) {
    std::deque<std::pair<PAPCFUNC, ULONG_PTR>> due;
    due.swap(self.apcs);
    lock.unlock();
    for (auto& [fn, data] : due) {
        fn(data);
    }
}

// The index of the object that satisfies the wait now (taking its signal), or -1.
int TrySatisfy(WaitObject* const* objects, DWORD count, bool all) {
    if (all) {
        for (DWORD i = 0; i < count; ++i) {
            if (!objects[i]->Signalled()) {
                return -1;
            }
        }
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->Acquire();
        }
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->Signalled()) {
            objects[i]->Acquire();
            return int(i);
        }
    }
    return -1;
}

DWORD Wait(WaitObject* const* objects, DWORD count, bool all, DWORD milliseconds, bool alertable) {
    ThreadState& self = CurrentThread();
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock lock(KernelLock());
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->AddWaiter(&self);
    }
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        if (alertable && !self.apcs.empty()) {
            result = WAIT_IO_COMPLETION;
            break;
        }
        if (int index = TrySatisfy(objects, count, all); index >= 0) {
            result = WAIT_OBJECT_0 + DWORD(index);
            break;
        }
        if (milliseconds == 0) {
            break;
        }
        if (milliseconds == INFINITE) {
            self.wake.wait(lock);
        } else if (self.wake.wait_until(lock, deadline) == std::cv_status::timeout &&
                   Clock::now() >= deadline) {
            milliseconds = 0; // one last look before reporting the time-out
        }
    }
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->RemoveWaiter(&self);
    }
    if (result == WAIT_IO_COMPLETION) {
        RunApcs(self, lock);
    }
    return result;
}

} // namespace
} // namespace platform::win

using namespace platform::win;

DWORD WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                               DWORD dwMilliseconds, BOOL bAlertable) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    WaitObject* objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < nCount; ++i) {
        if (!lpHandles[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects[i] = static_cast<WaitObject*>(lpHandles[i]);
    }
    return Wait(objects, nCount, bWaitAll != FALSE, dwMilliseconds, bAlertable != FALSE);
}

DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable) {
    return WaitForMultipleObjectsEx(1, &hHandle, FALSE, dwMilliseconds, bAlertable);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForSingleObjectEx(hHandle, dwMilliseconds, FALSE);
}

DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable) {
    DWORD result = Wait(nullptr, 0, false, dwMilliseconds, bAlertable != FALSE);
    return result == WAIT_IO_COMPLETION ? WAIT_IO_COMPLETION : 0;
}

BOOL CloseHandle(HANDLE hObject) {
    if (!hObject) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(KernelLock());
    static_cast<WaitObject*>(hObject)->Close();
    return TRUE;
}

DWORD GetLastError() {
    return tLastError;
}

void SetLastError(DWORD dwErrCode) {
    tLastError = dwErrCode;
}
