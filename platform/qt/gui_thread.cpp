#include "platform/qt/gui_thread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Qt's event queue synchronises through locks that race detectors do not see
// (the Qt libraries are not built with them). Every posted job also passes
// through this lock, taken while it is posted and again before it runs, so
// that what the poster wrote is seen, by them too, as written before the job.
std::mutex gHandOver;

// Set when a job posted by RunOnGuiThread is gone: run, or dropped unrun with
// the application's queue.
struct Completion {
    std::mutex mutex;
    std::condition_variable gone;
    bool done = false;
};

class SignalWhenGone {
  public:
    explicit SignalWhenGone(std::shared_ptr<Completion> completion)
        : completion_(std::move(completion)) {}
    ~SignalWhenGone() {
        std::lock_guard lock(completion_->mutex);
        completion_->done = true;
        completion_->gone.notify_all();
    }
    SignalWhenGone(const SignalWhenGone&) = delete;
    SignalWhenGone& operator=(const SignalWhenGone&) = delete;

  private:
    std::shared_ptr<Completion> completion_;
};

} // namespace

bool OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void PostToGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return;
    }
    std::lock_guard posting(gHandOver);
    QMetaObject::invokeMethod(
        app,
        [fn = std::move(fn)] {
            { std::lock_guard taking(gHandOver); }
            fn();
        },
        Qt::QueuedConnection);
}

void RunOnGuiThread(const std::function<void()>& fn) {
    if (OnGuiThread()) {
        fn();
        return;
    }
    auto completion = std::make_shared<Completion>();
    PostToGuiThread([&fn, signal = std::make_shared<SignalWhenGone>(completion)] { fn(); });
    std::unique_lock lock(completion->mutex);
    completion->gone.wait(lock, [&] { return completion->done; });
}

void DispatchUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void WakeGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(app->thread())) {
        dispatcher->wakeUp();
    }
}

} // namespace platform
