#pragma once
// A Windows-style event: manual or automatic reset, set, reset and a wait with
// a time-out in milliseconds. WSAEVENT handles point to one.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform::win {

constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

class Event {
  public:
    Event(bool manualReset, bool initialState);
    void Set();
    void Reset();
    // True when the event was signalled within the time (an automatic-reset
    // event is then reset).
    bool Wait(std::uint32_t milliseconds);

  private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool manualReset_;
    bool state_;
};

} // namespace platform::win
