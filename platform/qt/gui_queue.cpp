#include "platform/qt/gui_queue.h"

#include "platform/qt/gui_thread.h"

#include <QSocketNotifier>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

GuiQueue::GuiQueue(QObject* parent) : QObject(parent) {
    // A semaphore count: readable while jobs wait, each read takes one.
    wakeFd_ = ::eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { RunOne(); });
    }
}

GuiQueue::~GuiQueue() {
    delete notifier_;
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void GuiQueue::Push(std::function<void()> job) {
    if (wakeFd_ < 0) {
        PostToGuiThread(std::move(job));
        return;
    }
    {
        std::lock_guard guard(lock_);
        jobs_.push_back(std::move(job));
    }
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

void GuiQueue::RunOne() {
    std::uint64_t taken = 0;
    if (::read(wakeFd_, &taken, sizeof taken) != sizeof taken) {
        return;
    }
    std::function<void()> job;
    {
        std::lock_guard guard(lock_);
        if (jobs_.empty()) {
            return;
        }
        job = std::move(jobs_.front());
        jobs_.pop_front();
    }
    job();
}

} // namespace platform
