// Closing a layered socket: at once when nobody else uses it, otherwise the
// provider socket is closed now (which ends the other calls) and the context
// is released by the last of them.

#include "provider/informant.h"
#include "provider/lsp_log.h"
#include "provider/sock_info.h"
#include "provider/zul_procs.h"
#include "provider/zul_state.h"

namespace zul {
namespace {

// Closes the provider socket and, when that worked, forgets its number; no
// overlapped operation starts on it meanwhile.
int CloseProviderSocket(SOCK_INFO* context, int* lpErrno) {
    std::lock_guard starting(context->StartCritSec);
    int result = 0;
    {
        InLowerProvider in(context->Provider);
        result =
            context->Provider->NextProcTable.lpWSPCloseSocket(context->ProviderSocket, lpErrno);
    }
    if (result == 0) {
        context->ProviderSocket = INVALID_SOCKET;
    }
    return result;
}

// Another call is using the socket, or overlapped operations are outstanding.
int CloseContended(SOCK_INFO* context, std::unique_lock<std::mutex>& lock, int* lpErrno) {
    context->bClosing = TRUE;
    SOCKET closing = context->ProviderSocket;
    if (CloseProviderSocket(context, lpErrno) != 0) {
        *lpErrno = WSAENOTSOCK;
        lock.unlock();
        int ignored = 0;
        UnlockSocketContext(context, &ignored);
        DebugMessage("WSPCloseSocket: Invalid socket handle");
        return SOCKET_ERROR;
    }
    DebugMessage("Closed lower provider socket: 0x" LOG_HANDLE_FORMAT, std::uintptr_t(closing));
    lock.unlock();
    UnlockSocketContext(context, lpErrno);
    return 0;
}

int CloseAlone(SOCK_INFO* context, std::unique_lock<std::mutex>& lock, int* lpErrno) {
    PROVIDER* provider = context->Provider;
    int ignored = 0;
    if (CloseProviderSocket(context, lpErrno) != 0) {
        lock.unlock();
        GiveBackClaim(context);
        UnlockSocketContext(context, &ignored);
        DebugMessage("WSPCloseSocket: Provider close failed");
        return SOCKET_ERROR;
    }
    RemoveSocketInfo(provider, context);
    // The handle goes under the global lock, which is never taken inside the
    // socket's own.
    lock.unlock();
    SOCKET layered = context->LayeredSocket;
    if (CloseLayeredHandle(context, lpErrno) == SOCKET_ERROR) {
        DebugMessage("WPUCloseSocketHandle failed: %d", *lpErrno);
        GiveBackClaim(context);
        UnlockSocketContext(context, &ignored);
        return SOCKET_ERROR;
    }
    DebugMessage("Closing socket %d Bytes Sent [%lu] Bytes Recv [%lu]", int(layered),
                 static_cast<unsigned long>(context->BytesSent),
                 static_cast<unsigned long>(context->BytesRecv));
    FreeSockInfo(context);
    return 0;
}

} // namespace

int WSPCloseSocket(SOCKET s, int* lpErrno) {
    Informant().MostWanted().RemoveSocket(s);
    SOCK_INFO* context = FindAndLockSocketContext(s, lpErrno);
    if (!context) {
        DebugMessage("WSPCloseSocket: WPUQuerySocketHandle() failed: %d", *lpErrno);
        *lpErrno = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    // Claimed before the socket's lock is taken, as the claim takes that lock
    // under the global one.
    bool alone = ClaimIfUnused(context);
    std::unique_lock lock(context->SockCritSec);
    DebugMessage("WSPCloseSocket: Closing layered socket 0x" LOG_HANDLE_FORMAT
                 " (provider 0x" LOG_HANDLE_FORMAT ")",
                 std::uintptr_t(s), std::uintptr_t(context->ProviderSocket.load()));
    DebugMessage("dwOutstanding = %d; RefCount = %d", int(context->dwOutstanding),
                 int(context->RefCount.load()));
    if (!alone) {
        return CloseContended(context, lock, lpErrno);
    }
    return CloseAlone(context, lock, lpErrno);
}

} // namespace zul
