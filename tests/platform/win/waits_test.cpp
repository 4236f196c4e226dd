// Events, semaphores, thread handles and APCs: what wakes a wait, what an
// alertable wait runs, and on which thread.

#include "platform/win/event.h"
#include "platform/win/semaphore.h"
#include "platform/win/thread.h"
#include "platform/win/wait.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Closes a handle at the end of a test.
struct Handle {
    HANDLE h;
    ~Handle() {
        if (h) {
            CloseHandle(h);
        }
    }
};

TEST(Events, AutomaticResetWakesOneWaitAndResets) {
    Handle event{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    ASSERT_NE(event.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event.h));
    EXPECT_EQ(WaitForSingleObject(event.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), WAIT_TIMEOUT);
}

TEST(Events, ManualResetStaysSetUntilReset) {
    Handle event{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
    EXPECT_EQ(WaitForSingleObject(event.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), WAIT_OBJECT_0);
    ResetEvent(event.h);
    EXPECT_EQ(WaitForSingleObject(event.h, 10), WAIT_TIMEOUT);
}

TEST(Events, SetFromAnotherThreadWakesWaiter) {
    Handle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread setter([&] { SetEvent(event.h); });
    EXPECT_EQ(WaitForSingleObject(event.h, INFINITE), WAIT_OBJECT_0);
    setter.join();
}

TEST(Events, NamedEventsAreRefused) {
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "name"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Waits, AnyReportsTheSignalledIndexAndAllNeedsEvery) {
    Handle first{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Handle second{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE both[2] = {first.h, second.h};
    SetEvent(second.h);
    EXPECT_EQ(WaitForMultipleObjectsEx(2, both, FALSE, 0, FALSE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjectsEx(2, both, TRUE, 0, FALSE), WAIT_TIMEOUT);
    SetEvent(first.h);
    EXPECT_EQ(WaitForMultipleObjectsEx(2, both, TRUE, 0, FALSE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjectsEx(0, both, TRUE, 0, FALSE), WAIT_FAILED);
}

TEST(Semaphores, CountDownAndRefuseBeyondTheMaximum) {
    Handle semaphore{CreateSemaphoreA(nullptr, 1, 2, nullptr)};
    LONG previous = -1;
    ASSERT_TRUE(ReleaseSemaphore(semaphore.h, 1, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_FALSE(ReleaseSemaphore(semaphore.h, 1, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TOO_MANY_POSTS));
    EXPECT_EQ(WaitForSingleObject(semaphore.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore.h, 0), WAIT_TIMEOUT);
}

std::atomic<DWORD> gRanOn{0};
std::atomic<int> gRuns{0};
void Record(ULONG_PTR value) {
    gRanOn = platform::win::CurrentThreadId();
    gRuns += int(value);
}

TEST(Apcs, RunOnlyInTheTargetsAlertableWait) {
    gRuns = 0;
    DWORD self = platform::win::CurrentThreadId();
    std::thread queuer([self] {
        EXPECT_TRUE(platform::win::QueueApc(self, Record, 1));
        EXPECT_TRUE(platform::win::QueueApc(self, Record, 2));
    });
    queuer.join();
    EXPECT_EQ(SleepEx(10, FALSE), 0u);
    EXPECT_EQ(gRuns, 0);
    EXPECT_EQ(SleepEx(INFINITE, TRUE), WAIT_IO_COMPLETION);
    EXPECT_EQ(gRuns, 3);
    EXPECT_EQ(gRanOn, self);
}

TEST(Apcs, WakeAnAlertableWaitOnAnEvent) {
    gRuns = 0;
    Handle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    DWORD self = platform::win::CurrentThreadId();
    std::thread queuer([self] { platform::win::QueueApc(self, Record, 5); });
    DWORD result = WAIT_TIMEOUT;
    while (result != WAIT_IO_COMPLETION) {
        result = WaitForSingleObjectEx(event.h, INFINITE, TRUE);
    }
    queuer.join();
    EXPECT_EQ(gRuns, 5);
}

TEST(Apcs, ToAThreadThatEndedFail) {
    DWORD ended = 0;
    std::thread([&ended] { ended = platform::win::CurrentThreadId(); }).join();
    EXPECT_NE(ended, platform::win::CurrentThreadId());
    EXPECT_FALSE(platform::win::QueueApc(ended, Record, 1));
}

std::atomic<int> gDiscarded{0};
void Discard(ULONG_PTR value) {
    gDiscarded += int(value);
}

TEST(Apcs, QueuedToAThreadThatEndsWithoutWaitingAreDiscardedNotRun) {
    gRuns = 0;
    gDiscarded = 0;
    ASSERT_TRUE(platform::win::SetApcDiscard(Record, Discard));
    std::atomic<DWORD> target{0};
    std::atomic<bool> queued{false};
    std::thread ending([&] {
        target = platform::win::CurrentThreadId();
        while (!queued) {
            SleepEx(1, FALSE); // never alertable
        }
    });
    while (target == 0) {
        SleepEx(1, FALSE);
    }
    EXPECT_TRUE(platform::win::QueueApc(target, Record, 4));
    EXPECT_TRUE(platform::win::QueueApc(target, Record, 8));
    queued = true;
    ending.join();
    EXPECT_EQ(gRuns, 0);
    EXPECT_EQ(gDiscarded, 12);
    // Without a discard they are only dropped.
    ASSERT_TRUE(platform::win::SetApcDiscard(Record, nullptr));
    queued = false;
    target = 0;
    std::thread again([&] {
        target = platform::win::CurrentThreadId();
        while (!queued) {
            SleepEx(1, FALSE);
        }
    });
    while (target == 0) {
        SleepEx(1, FALSE);
    }
    EXPECT_TRUE(platform::win::QueueApc(target, Record, 1));
    queued = true;
    again.join();
    EXPECT_EQ(gRuns, 0);
    EXPECT_EQ(gDiscarded, 12);
}

DWORD Worker(void* parameter) {
    static_cast<std::atomic<int>*>(parameter)->fetch_add(1);
    return 0;
}

TEST(Threads, HandleIsSignalledWhenTheThreadEnds) {
    std::atomic<int> count{0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i) {
        DWORD id = 0;
        threads.push_back(CreateThread(nullptr, 0, Worker, &count, 0, &id));
        ASSERT_NE(threads.back(), nullptr);
        EXPECT_NE(id, 0u);
    }
    EXPECT_EQ(WaitForMultipleObjectsEx(4, threads.data(), TRUE, INFINITE, FALSE), WAIT_OBJECT_0);
    EXPECT_EQ(count, 4);
    for (HANDLE thread : threads) {
        EXPECT_TRUE(CloseHandle(thread));
    }
}

} // namespace
