#pragma once
// The inside of the platform's waitable objects, APCs and message queues. One
// process-wide lock guards every object's state, every thread's APC queue and
// message queue, and the window table; a waiting thread sleeps on its own
// condition variable and is woken by whoever changes what it waits for.

#include "platform/win/window.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace platform::win {

using PAPCFUNC = void (*)(ULONG_PTR);

struct ThreadState {
    DWORD id = 0;
    std::condition_variable wake;
    std::deque<std::pair<PAPCFUNC, ULONG_PTR>> apcs;
    std::deque<MSG> messages;
};

std::mutex& KernelLock();

// The calling thread's state, registered on first use and dropped (with its
// queued APCs and messages, and its windows) when the thread ends.
ThreadState& CurrentThread();

// A number for a thread about to start, which it takes with RegisterCurrentThread
// before anything else.
DWORD NewThreadId();
void RegisterCurrentThread(DWORD id);

// QueueApc for callers that hold KernelLock.
bool QueueApcLocked(DWORD threadId, void (*fn)(ULONG_PTR), ULONG_PTR data);

// A live thread's state, or null; under KernelLock.
ThreadState* FindThread(DWORD id);

// What a wait can wait for. Every member runs under KernelLock.
class WaitObject {
  public:
    virtual ~WaitObject() = default;
    // True when a wait would be satisfied now.
    virtual bool Signalled() const = 0;
    // Takes the signal (an automatic-reset event resets, a semaphore counts down).
    virtual void Acquire() {}
    // Closing a handle; threads override it (their object outlives the handle
    // while the thread runs).
    virtual void Close() { delete this; }

    void AddWaiter(ThreadState* thread) { waiters_.push_back(thread); }
    void RemoveWaiter(ThreadState* thread);
    void WakeWaiters();

  private:
    std::vector<ThreadState*> waiters_;
};

// Drops windows owned by a thread that ends; under KernelLock.
void ForgetWindowsOf(DWORD threadId);

} // namespace platform::win
