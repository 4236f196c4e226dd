#pragma once
// Threads with Windows-style handles: the handle is waitable and is signalled
// when the thread's function has returned. Closing the handle does not stop the
// thread.

#include "platform/wintypes.h"

#include <cstddef>

using LPTHREAD_START_ROUTINE = DWORD (*)(void* lpParameter);

// The new thread's handle, or null; *lpThreadId (when given) receives its
// number, the one platform::win::CurrentThreadId gives on that thread.
HANDLE CreateThread(void* lpThreadAttributes, std::size_t dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, void* lpParameter, DWORD dwCreationFlags,
                    DWORD* lpThreadId);
DWORD GetCurrentThreadId();
