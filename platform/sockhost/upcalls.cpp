// The upcalls the host offers to providers. Handles are real descriptors:
// WPUCreateSocketHandle duplicates the kernel socket that the base provider
// noted on the calling thread and ties the duplicate to the caller's context.

#include "platform/catalog.h"
#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/kernel_socket.h"
#include "platform/sockhost/providers.h"
#include "platform/win/event.h"

#include <fcntl.h>
#include <pthread.h>

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
    int handle = ::fcntl(kernel, WantCloseOnExec() ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
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

// Windows and their message queues are not offered by the host yet.
BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    (void)hWnd;
    (void)Msg;
    (void)wParam;
    (void)lParam;
    return FALSE;
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

// Asynchronous procedure calls are not offered by the host yet.
int QueueApc(WSATHREADID* lpThreadId, LPWSAUSERAPC lpfnUserApc, DWORD_PTR dwContext, int* lpErrno) {
    (void)lpThreadId;
    (void)lpfnUserApc;
    (void)dwContext;
    return Fail(lpErrno, WSAEOPNOTSUPP);
}

int OpenCurrentThread(WSATHREADID* lpThreadId, int* lpErrno) {
    (void)lpErrno;
    lpThreadId->ThreadHandle = reinterpret_cast<HANDLE>(::pthread_self());
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
