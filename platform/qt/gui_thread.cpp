#include "platform/qt/gui_thread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

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

// Helper threads for RunAsideWhileDispatching. A job never waits for a thread:
// when every helper is busy (calls nested in the dispatching of another) one
// more is started. Helpers live until the process ends.
class AsideHelpers {
  public:
    void Run(std::function<void()> job) {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_) {
            std::thread([this] { Serve(); }).detach();
        } else {
            ready_.notify_one();
        }
    }

  private:
    void Serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            ready_.wait(lock, [this] { return !jobs_.empty(); });
            --idle_;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
};

AsideHelpers& Helpers() {
    static AsideHelpers* helpers = new AsideHelpers; // never destroyed: helpers outlive statics
    return *helpers;
}

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

void RunOrPostToGuiThread(std::function<void()> fn) {
    if (OnGuiThread()) {
        fn();
    } else {
        PostToGuiThread(std::move(fn));
    }
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

void RunAsideWhileDispatching(const std::function<void()>& fn) {
    if (!QCoreApplication::instance()) {
        fn();
        return;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    Helpers().Run([&fn, done] {
        fn();
        *done = true;
        WakeGuiThread();
    });
    DispatchUntil([&] { return done->load(); });
}

} // namespace platform
