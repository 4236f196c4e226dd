#include "platform/win/event.h"

namespace platform::win {

Event::Event(bool manualReset, bool initialState)
    : manualReset_(manualReset), state_(initialState) {}

void Event::Set() {
    std::lock_guard lock(KernelLock());
    state_ = true;
    WakeWaiters();
    OnSet();
}

void ApcEvent::OnSet() {
    QueueApcLocked(thread_, fn_, data_);
}

void Event::Reset() {
    std::lock_guard lock(KernelLock());
    state_ = false;
}

bool Event::Wait(std::uint32_t milliseconds) {
    return WaitForSingleObjectEx(this, milliseconds, FALSE) == WAIT_OBJECT_0;
}

void Event::Acquire() {
    if (!manualReset_) {
        state_ = false;
    }
}

} // namespace platform::win

using platform::win::Event;

// Named events are not offered: every event is private to the process.
HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    const char* lpName) {
    (void)lpEventAttributes;
    if (lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return static_cast<platform::win::WaitObject*>(
        new Event(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent) {
    if (!hEvent) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<Event*>(static_cast<platform::win::WaitObject*>(hEvent))->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    if (!hEvent) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<Event*>(static_cast<platform::win::WaitObject*>(hEvent))->Reset();
    return TRUE;
}
