#pragma once
// Counting semaphores: a wait takes one count, a release adds counts up to the
// maximum.

#include "platform/win/kernel.h"
#include "platform/win/wait.h"

namespace platform::win {

class Semaphore : public WaitObject {
  public:
    Semaphore(LONG initialCount, LONG maximumCount) : count_(initialCount), max_(maximumCount) {}
    // False (and nothing changes) when the count would pass the maximum.
    bool Release(LONG count, LONG* previous);

    bool Signalled() const override { return count_ > 0; }
    void Acquire() override { --count_; }

  private:
    LONG count_;
    LONG max_;
};

} // namespace platform::win

HANDLE CreateSemaphoreA(void* lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                        const char* lpName);
BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LONG* lpPreviousCount);
