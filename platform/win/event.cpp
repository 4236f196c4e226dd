#include "platform/win/event.h"

#include <chrono>

namespace platform::win {

Event::Event(bool manualReset, bool initialState)
    : manualReset_(manualReset), state_(initialState) {}

void Event::Set() {
    std::lock_guard lock(mutex_);
    state_ = true;
    signalled_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    state_ = false;
}

bool Event::Wait(std::uint32_t milliseconds) {
    std::unique_lock lock(mutex_);
    auto ready = [this] { return state_; };
    if (milliseconds == kInfinite) {
        signalled_.wait(lock, ready);
    } else if (!signalled_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
        return false;
    }
    if (!manualReset_) {
        state_ = false;
    }
    return true;
}

} // namespace platform::win
