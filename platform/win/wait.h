#pragma once
// Waits on the platform's objects (events, semaphores, thread handles), alertable
// or not, and asynchronous procedure calls: one APC queue per thread, run by that
// thread when it waits alertably.

#include "platform/wintypes.h"

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_IO_COMPLETION = 0xC0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// WAIT_OBJECT_0 (+ index of the object that ended the wait when not waiting for
// all), WAIT_TIMEOUT, WAIT_IO_COMPLETION after running this thread's queued APCs
// (alertable waits only), or WAIT_FAILED.
DWORD WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                               DWORD dwMilliseconds, BOOL bAlertable);
DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// 0 after the time, WAIT_IO_COMPLETION when alertable and APCs ran.
DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);

BOOL CloseHandle(HANDLE hObject);

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

namespace platform::win {

// The calling thread's number: never 0 and never reused within the process.
DWORD CurrentThreadId();

// Queues a call of fn(data) to the thread; false when that thread has ended.
bool QueueApc(DWORD threadId, void (*fn)(ULONG_PTR), ULONG_PTR data);

// A call of fn still queued when its thread ends is never run; with a discard
// set for fn, discard(data) is called instead, on the ending thread, so that
// what the data owns is freed. A null discard removes it. False when every
// place for one is taken.
bool SetApcDiscard(void (*fn)(ULONG_PTR), void (*discard)(ULONG_PTR));

} // namespace platform::win
