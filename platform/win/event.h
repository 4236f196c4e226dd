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
        OnSet();
    }
    void Reset();
    // True when the event was signalled within the time (an automatic-reset
    // event is then reset). Not alertable.
    bool Wait(std::uint32_t milliseconds);

    bool Signalled() const override { return state_; }
    void Acquire() override;

  protected:
    // Called under the lock each time the event is set.
    virtual void OnSet() {}

  private:
    bool manualReset_;
    bool state_;
};

// A manual-reset event that, each time it is set, also queues an APC to one
// thread: how a thread learns of completions that report through an event.
class ApcEvent : public Event {
  public:
    ApcEvent(DWORD threadId, void (*fn)(ULONG_PTR), ULONG_PTR data)
        : Event(true, false), thread_(threadId), fn_(fn), data_(data) {}

  protected:
    void OnSet() override;

  private:
    DWORD thread_;
    void (*fn_)(ULONG_PTR);
    ULONG_PTR data_;
};

} // namespace platform::win

HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    const char* lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
