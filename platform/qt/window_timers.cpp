#include "platform/qt/window_timers.h"

#include <QTimer>

#include <map>
#include <memory>

namespace platform {
namespace {

class QtTimerSource : public TimerSource {
  public:
    UINT_PTR SetTimer(UINT_PTR, UINT periodMs, std::function<void()> onTick) override {
        UINT_PTR id = ++lastId_;
        auto timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, std::move(onTick));
        timer->start(static_cast<int>(periodMs));
        timers_[id] = std::move(timer);
        return id;
    }

    bool KillTimer(UINT_PTR id) override {
        auto found = timers_.find(id);
        if (found == timers_.end()) {
            return false;
        }
        // The timer may be the one whose tick is running: delete it later.
        found->second->stop();
        found->second.release()->deleteLater();
        timers_.erase(found);
        return true;
    }

  private:
    UINT_PTR lastId_ = 0;
    std::map<UINT_PTR, std::unique_ptr<QTimer>> timers_;
};

TimerSource* gReplacement = nullptr;

} // namespace

TimerSource& Timers() {
    static QtTimerSource real;
    return gReplacement ? *gReplacement : real;
}

void SetTimerSource(TimerSource* source) {
    gReplacement = source;
}

} // namespace platform
