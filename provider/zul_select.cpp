// WSPSelect over layered handles, WSPAsyncSelect's checks, and
// WSPGetOverlappedResult, which the provider answers from the program's record.

#include "platform/overlapped_record.h"
#include "platform/win/event.h"
#include "provider/async_window.h"
#include "provider/zul_forward.h"
#include "provider/zul_procs.h"

#include <vector>

namespace zul {
namespace {

// One of the program's sets: the provider sockets handed down (duplicates
// dropped) and the program's handle for each.
struct Translated {
    WSA_FD_SET lower{};
    SOCKET lowerOf[FD_SETSIZE_W]{};
    SOCKET handleOf[FD_SETSIZE_W]{};
    unsigned count = 0;
};

bool Contains(const Translated& set, SOCKET lower) {
    for (unsigned i = 0; i < set.count; ++i) {
        if (set.lowerOf[i] == lower) {
            return true;
        }
    }
    return false;
}

// Releases every context found for the translation when the call ends.
struct Contexts {
    std::vector<SOCK_INFO*> held;
    ~Contexts() {
        for (SOCK_INFO* context : held) {
            int ignored = 0;
            UnlockSocketContext(context, &ignored);
        }
    }
};

void Translate(const WSA_FD_SET* set, Translated& out, Contexts& contexts, PROVIDER*& first) {
    for (unsigned i = 0; set && i < set->fd_count; ++i) {
        int ignored = 0;
        SOCKET handle = set->fd_array[i];
        SOCKET lower = handle; // handles without a context are passed as they are
        if (SOCK_INFO* context = FindAndLockSocketContext(handle, &ignored)) {
            contexts.held.push_back(context);
            lower = context->ProviderSocket;
            first = first ? first : context->Provider;
        }
        if (!Contains(out, lower)) {
            out.lowerOf[out.count] = lower;
            out.handleOf[out.count++] = handle;
            out.lower.fd_array[out.lower.fd_count++] = lower;
        }
    }
}

// The program's handles of the provider sockets the lower select kept.
void TranslateBack(WSA_FD_SET* set, const Translated& in) {
    set->fd_count = 0;
    for (unsigned i = 0; i < in.lower.fd_count; ++i) {
        for (unsigned j = 0; j < in.count; ++j) {
            if (in.lowerOf[j] == in.lower.fd_array[i]) {
                set->fd_array[set->fd_count++] = in.handleOf[j];
                break;
            }
        }
    }
}

} // namespace

int WSPSelect(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
              const timeval* timeout, int* lpErrno) {
    WSA_FD_SET* sets[3] = {readfds, writefds, exceptfds};
    if (!readfds && !writefds && !exceptfds) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    for (WSA_FD_SET* set : sets) {
        if (set && set->fd_count > FD_SETSIZE_W) {
            *lpErrno = WSAENOBUFS;
            return SOCKET_ERROR;
        }
    }
    Contexts contexts;
    Translated translated[3];
    PROVIDER* first = nullptr;
    for (int i = 0; i < 3; ++i) {
        Translate(sets[i], translated[i], contexts, first);
    }
    if (!first) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    WSA_FD_SET* lower[3];
    for (int i = 0; i < 3; ++i) {
        lower[i] = sets[i] ? &translated[i].lower : nullptr;
    }
    int result = 0;
    {
        InLowerProvider in(first);
        result =
            first->NextProcTable.lpWSPSelect(nfds, lower[0], lower[1], lower[2], timeout, lpErrno);
    }
    if (result != SOCKET_ERROR) {
        for (int i = 0; i < 3; ++i) {
            if (sets[i]) {
                TranslateBack(sets[i], translated[i]);
            }
        }
    }
    return result;
}

int WSPAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent, int* lpErrno) {
    return Forward(s, "WSPAsyncSelect: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       if (!hWnd || lEvent >= (1L << FD_MAX_EVENTS) || lEvent < 0) {
                           *lpErrno = WSAEINVAL;
                           return SOCKET_ERROR;
                       }
                       {
                           std::lock_guard lock(context->SockCritSec);
                           context->hWnd = hWnd;
                           context->uMsg = wMsg;
                       }
                       HWND hidden = GetWorkerWindow();
                       if (!hidden) {
                           *lpErrno = WSAEINVAL;
                           return SOCKET_ERROR;
                       }
                       return next.lpWSPAsyncSelect(context->ProviderSocket, hidden, kAsyncMessage,
                                                    lEvent, lpErrno);
                   });
}

BOOL WSPGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait,
                            DWORD* lpdwFlags, int* lpErrno) {
    (void)s;
    if (!lpOverlapped || !lpcbTransfer || !lpdwFlags) {
        *lpErrno = WSAEFAULT;
        return FALSE;
    }
    if (platform::OverlappedPending(lpOverlapped)) {
        if (!fWait) {
            *lpErrno = WSA_IO_INCOMPLETE;
            return FALSE;
        }
        auto* event = static_cast<platform::win::Event*>(lpOverlapped->hEvent);
        if (!event || !event->Wait(platform::win::kInfinite) ||
            platform::OverlappedPending(lpOverlapped)) {
            *lpErrno =
                platform::OverlappedPending(lpOverlapped) ? WSA_IO_PENDING : WSASYSCALLFAILURE;
            return FALSE;
        }
    }
    *lpcbTransfer = DWORD(lpOverlapped->InternalHigh);
    *lpdwFlags = lpOverlapped->OffsetHigh;
    *lpErrno = int(lpOverlapped->Offset);
    return *lpErrno == 0 ? TRUE : FALSE;
}

} // namespace zul
