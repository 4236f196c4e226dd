#pragma once
// Window timers (SetTimer/KillTimer): periodic callbacks on the GUI thread. The
// source behind them can be replaced, so tests run minutes of timer ticks in
// milliseconds with a clock they advance themselves.

#include "platform/wintypes.h"

#include <functional>

namespace platform {

using UINT_PTR = std::uintptr_t;

class TimerSource {
  public:
    virtual ~TimerSource() = default;
    // Starts a periodic timer that calls onTick every periodMs milliseconds;
    // returns its identifier (never 0). number is the caller's timer number.
    virtual UINT_PTR SetTimer(UINT_PTR number, UINT periodMs, std::function<void()> onTick) = 0;
    // Stops the timer; false when there is no such timer.
    virtual bool KillTimer(UINT_PTR id) = 0;
};

// The current source: Qt timers on the calling thread's event loop unless replaced.
TimerSource& Timers();
// Replaces the source (tests); null restores the real one. The source must
// outlive its use.
void SetTimerSource(TimerSource* source);

} // namespace platform
