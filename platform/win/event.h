#pragma once
// Events: manual or automatic reset, set, reset, and waits (wait.h). A HANDLE or
// WSAEVENT of an event points to one of these.

#include "platform/win/kernel.h"
#include "platform/win/wait.h"

namespace platform::win {

constexpr std::uint32_t kInfinite = INFINITE;

class Event : public WaitObject {
  public:
    Event(bool manualReset, bool initialState);
    void Set();
    // Runs store and sets the event under the lock that closing the event takes:
    // whoever sees what store wrote and then closes the event waits for the set.
    template <typename Store> void SetAfter(Store store) {
        std::lock_guard lock(KernelLock());
        store();
        state_ = true;
        WakeWaiters();
    }
    void Reset();
    // True when the event was signalled within the time (an automatic-reset
    // event is then reset). Not alertable.
    bool Wait(std::uint32_t milliseconds);

    bool Signalled() const override { return state_; }
    void Acquire() override;

  private:
    bool manualReset_;
    bool state_;
};

} // namespace platform::win

HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    const char* lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
