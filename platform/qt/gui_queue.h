#pragma once
// Work handed to the user-interface thread from any thread, where it may wait
// for long while dispatching events (a login, the rating service): each job
// runs from a socket notification, one job per notification, so jobs handed
// in meanwhile run inside that dispatching, as socket notifications do. (Jobs
// posted as events would not: a posted event that dispatches events holds up
// the ones posted after it.) Jobs run in the order they were handed in.

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

namespace platform {

class GuiQueue : public QObject {
  public:
    // Created on the user-interface thread.
    explicit GuiQueue(QObject* parent = nullptr);
    ~GuiQueue() override;

    // Any thread: queues the job (posts it, where no queue could be made).
    void Push(std::function<void()> job);

  private:
    void RunOne();

    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex lock_;
    std::deque<std::function<void()>> jobs_;
};

} // namespace platform
