#include "provider/sock_info.h"

#include "provider/lsp_log.h"
#include "provider/zul_state.h"

#include <cerrno>
#include <new>

namespace zul {

SOCK_INFO* CreateSockInfo(PROVIDER* provider, SOCKET providerSocket, SOCK_INFO* inherit,
                          bool insert, int* lpErrno) {
    SOCK_INFO* context = new (std::nothrow) SOCK_INFO();
    if (!context) {
        DebugMessage("HeapAlloc() failed: %d", ENOMEM);
        *lpErrno = WSAENOBUFS;
        return nullptr;
    }
    context->ProviderSocket = providerSocket;
    context->LayeredSocket = INVALID_SOCKET;
    context->Provider = provider;
    if (inherit) {
        context->hWnd = inherit->hWnd.load();
        context->uMsg = inherit->uMsg.load();
    }
    if (insert) {
        InsertSocketInfo(provider, context);
    }
    return context;
}

void InsertSocketInfo(PROVIDER* provider, SOCK_INFO* context) {
    if (!provider || !context) {
        DebugMessage("InsertSocketInfo: PROVIDER or SOCK_INFO == NULL!");
        return;
    }
    {
        std::lock_guard lock(provider->ProviderCritSec);
        context->prev = nullptr;
        context->next = provider->SocketList;
        if (provider->SocketList) {
            provider->SocketList->prev = context;
        }
        provider->SocketList = context;
    }
    int ignored = 0;
    State().MainUpcallTable.lpWPUSetEvent(State().gAddContextEvent, &ignored);
}

void RemoveSocketInfo(PROVIDER* provider, SOCK_INFO* context) {
    std::lock_guard lock(provider->ProviderCritSec);
    if (context->prev) {
        context->prev->next = context->next;
    } else if (provider->SocketList == context) {
        provider->SocketList = context->next;
    }
    if (context->next) {
        context->next->prev = context->prev;
    }
    context->prev = context->next = nullptr;
}

void FreeSockInfo(SOCK_INFO* context) {
    delete context;
}

SOCK_INFO* FindAndLockSocketContext(SOCKET s, int* lpErrno) {
    std::lock_guard lock(CriticalSection());
    DWORD_PTR value = 0;
    if (!State().MainUpcallTable.lpWPUQuerySocketHandleContext ||
        State().MainUpcallTable.lpWPUQuerySocketHandleContext(s, &value, lpErrno) == SOCKET_ERROR) {
        DebugMessage("FindAndLockSocketContext: WPUQuerySocketHandleContext failed: %d", *lpErrno);
        return nullptr;
    }
    SOCK_INFO* context = reinterpret_cast<SOCK_INFO*>(value);
    if (context->bClaimed) {
        *lpErrno = WSAENOTSOCK; // being closed
        return nullptr;
    }
    context->RefCount.fetch_add(1);
    return context;
}

bool ClaimIfUnused(SOCK_INFO* context) {
    std::lock_guard lock(CriticalSection());
    std::lock_guard contextLock(context->SockCritSec);
    context->bClaimed = context->RefCount.load() == 1 && context->dwOutstanding == 0;
    return context->bClaimed;
}

int CloseLayeredHandle(SOCK_INFO* context, int* lpErrno) {
    std::lock_guard lock(CriticalSection());
    return State().MainUpcallTable.lpWPUCloseSocketHandle(context->LayeredSocket, lpErrno);
}

void GiveBackClaim(SOCK_INFO* context) {
    std::lock_guard lock(CriticalSection());
    context->bClaimed = false;
}

void UnlockSocketContext(SOCK_INFO* context, int* lpErrno) {
    std::lock_guard lock(CriticalSection());
    // Only a close marks a context closing, while it holds a reference of its
    // own: the last reference sees the mark through this lock, and a context
    // never marked is never released here.
    if (context->RefCount.fetch_sub(1) != 1 || !context->bClosing) {
        return;
    }
    bool release = false;
    {
        std::lock_guard contextLock(context->SockCritSec);
        release = context->dwOutstanding == 0 && context->bClosing;
    }
    if (!release) {
        return;
    }
    if (State().MainUpcallTable.lpWPUCloseSocketHandle(context->LayeredSocket, lpErrno) ==
        SOCKET_ERROR) {
        DebugMessage("UnlockSocketContext: WPUCloseSocketHandle() failed: %d", *lpErrno);
    }
    context->LayeredSocket = INVALID_SOCKET;
    RemoveSocketInfo(context->Provider, context);
    FreeSockInfo(context);
}

SOCK_INFO* FindSocketContextByProviderSocket(PROVIDER* provider, SOCKET providerSocket) {
    ZulState& state = State();
    for (int i = 0; i < state.gLayerCount; ++i) {
        PROVIDER* record = &state.gBaseInfo[i];
        if (provider && provider != record) {
            continue;
        }
        std::lock_guard lock(record->ProviderCritSec);
        for (SOCK_INFO* context = record->SocketList; context; context = context->next) {
            if (context->ProviderSocket == providerSocket) {
                return context;
            }
        }
    }
    return nullptr;
}

void CloseAndFreeSocketInfo(PROVIDER* provider) {
    SOCK_INFO* context = nullptr;
    {
        std::lock_guard lock(provider->ProviderCritSec);
        context = provider->SocketList;
        provider->SocketList = nullptr;
    }
    while (context) {
        SOCK_INFO* next = context->next;
        int error = 0;
        LINGER_W linger{1, 0};
        if (context->ProviderSocket != INVALID_SOCKET &&
            provider->NextProcTable.lpWSPSetSockOpt(
                context->ProviderSocket, SOL_SOCKET_W, SO_LINGER_W,
                reinterpret_cast<const char*>(&linger), sizeof linger, &error) == 0 &&
            provider->NextProcTable.lpWSPCloseSocket(context->ProviderSocket, &error) != 0) {
            DebugMessage("WSPCloseSocket() on handle %d failed: %d", int(context->ProviderSocket),
                         error);
        }
        State().MainUpcallTable.lpWPUCloseSocketHandle(context->LayeredSocket, &error);
        FreeSockInfo(context);
        context = next;
    }
}

} // namespace zul
