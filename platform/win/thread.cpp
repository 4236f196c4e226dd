#include "platform/win/thread.h"

#include "platform/win/kernel.h"
#include "platform/win/wait.h"

#include <memory>
#include <pthread.h>

namespace platform::win {
namespace {

// Shared by the handle and the running thread; freed by whichever lets go last.
class ThreadObject : public WaitObject {
  public:
    bool Signalled() const override { return ended_; }
    void Close() override { Drop(); }

    // Under KernelLock.
    void End() {
        ended_ = true;
        WakeWaiters();
        Drop();
    }

  private:
    void Drop() {
        if (--references_ == 0) {
            delete this;
        }
    }
    bool ended_ = false;
    int references_ = 2;
};

struct Start {
    DWORD id;
    ThreadObject* object;
    LPTHREAD_START_ROUTINE routine;
    void* parameter;
};

void* Run(void* argument) {
    std::unique_ptr<Start> start(static_cast<Start*>(argument));
    RegisterCurrentThread(start->id);
    start->routine(start->parameter);
    std::lock_guard lock(KernelLock());
    start->object->End();
    return nullptr;
}

} // namespace
} // namespace platform::win

using namespace platform::win;

HANDLE CreateThread(void* lpThreadAttributes, std::size_t dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, void* lpParameter, DWORD dwCreationFlags,
                    DWORD* lpThreadId) {
    (void)lpThreadAttributes;
    (void)dwStackSize;
    if (!lpStartAddress || dwCreationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* object = new ThreadObject;
    DWORD threadId = NewThreadId();
    auto* start = new Start{threadId, object, lpStartAddress, lpParameter};
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, Run, start) != 0) {
        delete start;
        delete object;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ::pthread_detach(thread);
    if (lpThreadId) {
        *lpThreadId = threadId;
    }
    return static_cast<WaitObject*>(object);
}

DWORD GetCurrentThreadId() {
    return CurrentThreadId();
}
