// The upcalls the host offers to providers. Handles are real descriptors:
// WPUCreateSocketHandle duplicates the kernel socket that the base provider
// noted on the calling thread and ties the duplicate to the caller's context.

#include "platform/catalog.h"
#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/kernel_socket.h"
#include "platform/sockhost/providers.h"
#include "platform/win/event.h"
#include "platform/win/window.h"

#include <fcntl.h>

namespace sockhost {
namespace {

platform::win::Event* AsEvent(WSAEVENT event) {
    return static_cast<platform::win::Event*>(event);
}

int Fail(int* lpErrno, int error) {
    *lpErrno = error;
    return SOCKET_ERROR;
}

BOOL CloseEvent(WSAEVENT hEvent, int* lpErrno) {
    if (!hEvent) {
        *lpErrno = WSA_INVALID_HANDLE;
        return FALSE;
    }
    delete AsEvent(hEvent);
    return TRUE;
}

WSAEVENT CreateEvent(int* lpErrno) {
    (void)lpErrno;
    return new platform::win::Event(true, false);
}

BOOL ResetEvent(WSAEVENT hEvent, int* lpErrno) {
    if (!hEvent) {
        *lpErrno = WSA_INVALID_HANDLE;
        return FALSE;
    }
    AsEvent(hEvent)->Reset();
    return TRUE;
}

BOOL SetEvent(WSAEVENT hEvent, int* lpErrno) {
    if (!hEvent) {
        *lpErrno = WSA_INVALID_HANDLE;
        return FALSE;
    }
    AsEvent(hEvent)->Set();
    return TRUE;
}

int CloseSocketHandle(SOCKET s, int* lpErrno) {
    if (!ClearHandle(s)) {
        return Fail(lpErrno, WSAENOTSOCK);
    }
    Libc().close(int(s));
    return 0;
}

SOCKET CreateSocketHandle(DWORD dwCatalogEntryId, DWORD_PTR dwContext, int* lpErrno) {
    Provider* provider = ProviderOfCatalogId(dwCatalogEntryId);
    int kernel = NotedKernelSocket();
    if (!provider || kernel < 0) {
        *lpErrno = WSAEINVAL;
        return INVALID_SOCKET;
    }
    int handle = HandleFor(kernel, WantCloseOnExec());
    if (handle < 0) {
        *lpErrno = WSAEMFILE;
        return INVALID_SOCKET;
    }
    if (!SetHandle(SOCKET(handle), HandleEntry{provider, dwContext, false})) {
        Libc().close(handle);
        *lpErrno = WSAEMFILE;
        return INVALID_SOCKET;
    }
    return SOCKET(handle);
}

int FDIsSet(SOCKET s, WSA_FD_SET* fdset) {
    for (unsigned i = 0; fdset && i < fdset->fd_count; ++i) {
        if (fdset->fd_array[i] == s) {
            return 1;
        }
    }
    return 0;
}

int GetProviderPath(GUID* lpProviderId, WCHAR* lpszProviderDllPath, int* lpProviderDllPathLen,
                    int* lpErrno) {
    return WSCGetProviderPath(lpProviderId, lpszProviderDllPath, lpProviderDllPathLen, lpErrno);
}

SOCKET ModifyIFSHandle(DWORD dwCatalogEntryId, SOCKET ProposedHandle, int* lpErrno) {
    (void)dwCatalogEntryId;
    (void)lpErrno;
    return ProposedHandle;
}

// Providers post network event notifications naming their own socket; a base
// provider at the top of its chain names the socket the program does not hold,
// so the notification names the handle the host made for it instead.
BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    SOCKET handle = HostHandleOf(SOCKET(wParam));
    return PostMessageA(hWnd, Msg, handle == INVALID_SOCKET ? wParam : WPARAM(handle), lParam);
}

int QueryBlockingCallback(DWORD dwCatalogEntryId, LPBLOCKINGCALLBACK* lplpfnCallback,
                          DWORD_PTR* lpdwContext, int* lpErrno) {
    (void)dwCatalogEntryId;
    (void)lpErrno;
    *lplpfnCallback = nullptr;
    *lpdwContext = 0;
    return 0;
}

int QuerySocketHandleContext(SOCKET s, DWORD_PTR* lpContext, int* lpErrno) {
    HandleEntry entry;
    if (!LookupHandleForProvider(s, entry) || entry.hostMade) {
        return Fail(lpErrno, WSAENOTSOCK);
    }
    *lpContext = entry.context;
    return 0;
}

// The call runs on the thread when it next waits alertably.
int QueueApc(WSATHREADID* lpThreadId, LPWSAUSERAPC lpfnUserApc, DWORD_PTR dwContext, int* lpErrno) {
    if (!lpThreadId || !lpfnUserApc) {
        return Fail(lpErrno, WSAEFAULT);
    }
    DWORD thread = DWORD(reinterpret_cast<std::uintptr_t>(lpThreadId->ThreadHandle));
    if (!platform::win::QueueApc(thread, lpfnUserApc, dwContext)) {
        return Fail(lpErrno, WSAEINVAL); // the thread has ended
    }
    return 0;
}

// A thread is named by its number, which is never reused: an APC for a thread
// that has ended fails instead of reaching another.
int OpenCurrentThread(WSATHREADID* lpThreadId, int* lpErrno) {
    if (!lpThreadId) {
        return Fail(lpErrno, WSAEFAULT);
    }
    lpThreadId->ThreadHandle =
        reinterpret_cast<HANDLE>(std::uintptr_t(platform::win::CurrentThreadId()));
    lpThreadId->Reserved = 0;
    return 0;
}

int CloseThread(WSATHREADID* lpThreadId, int* lpErrno) {
    (void)lpErrno;
    lpThreadId->ThreadHandle = nullptr;
    return 0;
}

constexpr WSPUPCALLTABLE kUpcalls = {
    CloseEvent,
    CloseSocketHandle,
    CreateEvent,
    CreateSocketHandle,
    FDIsSet,
    GetProviderPath,
    ModifyIFSHandle,
    PostMessage,
    QueryBlockingCallback,
    QuerySocketHandleContext,
    QueueApc,
    ResetEvent,
    SetEvent,
    OpenCurrentThread,
    CloseThread,
};

} // namespace

const WSPUPCALLTABLE& Upcalls() {
    return kUpcalls;
}

} // namespace sockhost
