#include "platform/win/kernel.h"
#include "platform/win/wait.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <pthread.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::win {
namespace {

std::mutex gKernel;
// Never destroyed: a thread that ends while the process exits still leaves it.
auto& gThreads = *new std::unordered_map<DWORD, ThreadState*>;
std::atomic<DWORD> gNextThreadId{1};

// The discards of APC functions (a fixed table: nothing to destroy at exit).
using ApcFunction = void (*)(ULONG_PTR);
constexpr std::size_t kDiscards = 16;
std::pair<ApcFunction, ApcFunction> gDiscards[kDiscards];

// Under gKernel.
ApcFunction DiscardOf(ApcFunction fn) {
    for (const auto& [function, discard] : gDiscards) {
        if (function == fn) {
            return discard;
        }
    }
    return nullptr;
}

// A forked child must not inherit the lock held by a thread it does not have.
struct ForkSafety {
    ForkSafety() {
        ::pthread_atfork([] { gKernel.lock(); }, [] { gKernel.unlock(); },
                         [] { gKernel.unlock(); });
    }
} gForkSafety;

// Owns the calling thread's state; unregisters it when the thread ends.
class ThreadHolder {
  public:
    ThreadState& Get(DWORD id = 0) {
        if (!state_) {
            state_ = std::make_unique<ThreadState>();
            state_->id = id ? id : NewThreadId();
            std::lock_guard lock(gKernel);
            gThreads[state_->id] = state_.get();
        }
        return *state_;
    }
    // The calls still queued are dropped; those with a discard are discarded
    // once the lock is released.
    ~ThreadHolder() {
        if (!state_) {
            return;
        }
        std::vector<std::pair<ApcFunction, ULONG_PTR>> discarded;
        {
            std::lock_guard lock(gKernel);
            gThreads.erase(state_->id);
            ForgetWindowsOf(state_->id);
            for (const auto& [fn, data] : state_->apcs) {
                if (ApcFunction discard = DiscardOf(fn)) {
                    discarded.emplace_back(discard, data);
                }
            }
            state_->apcs.clear();
        }
        for (const auto& [discard, data] : discarded) {
            discard(data);
        }
    }

  private:
    std::unique_ptr<ThreadState> state_;
};

thread_local ThreadHolder tThread;

} // namespace

std::mutex& KernelLock() {
    return gKernel;
}

ThreadState& CurrentThread() {
    return tThread.Get();
}

DWORD NewThreadId() {
    return gNextThreadId.fetch_add(1, std::memory_order_relaxed);
}

void RegisterCurrentThread(DWORD id) {
    tThread.Get(id);
}

ThreadState* FindThread(DWORD id) {
    auto found = gThreads.find(id);
    return found == gThreads.end() ? nullptr : found->second;
}

void WaitObject::RemoveWaiter(ThreadState* thread) {
    auto found = std::find(waiters_.begin(), waiters_.end(), thread);
    if (found != waiters_.end()) {
        waiters_.erase(found);
    }
}

void WaitObject::WakeWaiters() {
    for (ThreadState* thread : waiters_) {
        thread->wake.notify_one();
    }
}

DWORD CurrentThreadId() {
    return CurrentThread().id;
}

bool QueueApc(DWORD threadId, void (*fn)(ULONG_PTR), ULONG_PTR data) {
    std::lock_guard lock(gKernel);
    return QueueApcLocked(threadId, fn, data);
}

bool SetApcDiscard(void (*fn)(ULONG_PTR), void (*discard)(ULONG_PTR)) {
    std::lock_guard lock(gKernel);
    for (auto& entry : gDiscards) {
        if (entry.first == fn) {
            entry.second = discard;
            if (!discard) {
                entry.first = nullptr;
            }
            return true;
        }
    }
    if (!discard) {
        return true;
    }
    for (auto& entry : gDiscards) {
        if (!entry.first) {
            entry = {fn, discard};
            return true;
        }
    }
    return false;
}

bool QueueApcLocked(DWORD threadId, void (*fn)(ULONG_PTR), ULONG_PTR data) {
    ThreadState* thread = FindThread(threadId);
    if (!thread || !fn) {
        return false;
    }
    thread->apcs.emplace_back(fn, data);
    thread->wake.notify_one();
    return true;
}

} // namespace platform::win
