#pragma once
// A timer source whose clock the test advances itself, so that minutes of
// window timer ticks run in milliseconds and in a fixed order.

#include "platform/qt/window_timers.h"

#include <cstdint>
#include <functional>
#include <map>

namespace qmtest {

class ManualTimers : public platform::TimerSource {
  public:
    ManualTimers() { platform::SetTimerSource(this); }
    ~ManualTimers() override { platform::SetTimerSource(nullptr); }
    ManualTimers(const ManualTimers&) = delete;
    ManualTimers& operator=(const ManualTimers&) = delete;

    platform::UINT_PTR SetTimer(platform::UINT_PTR, UINT periodMs,
                                std::function<void()> onTick) override {
        platform::UINT_PTR id = ++lastId_;
        timers_[id] = Timer{periodMs, now_ + periodMs, std::move(onTick)};
        return id;
    }

    bool KillTimer(platform::UINT_PTR id) override { return timers_.erase(id) > 0; }

    // Moves the clock on by ms, running every tick that falls due on the way.
    void Advance(std::uint64_t ms) {
        std::uint64_t until = now_ + ms;
        for (;;) {
            auto next = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it) {
                if (it->second.due <= until &&
                    (next == timers_.end() || it->second.due < next->second.due)) {
                    next = it;
                }
            }
            if (next == timers_.end()) {
                break;
            }
            now_ = next->second.due;
            next->second.due += next->second.period;
            std::function<void()> tick = next->second.onTick; // the tick may kill its timer
            tick();
        }
        now_ = until;
    }

    std::size_t Running() const { return timers_.size(); }

  private:
    struct Timer {
        std::uint64_t period;
        std::uint64_t due;
        std::function<void()> onTick;
    };
    std::uint64_t now_ = 0;
    platform::UINT_PTR lastId_ = 0;
    std::map<platform::UINT_PTR, Timer> timers_;
};

} // namespace qmtest
