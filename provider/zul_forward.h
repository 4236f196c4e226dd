#pragma once
// The common pattern of the intercepted calls: find and lock the socket's
// context, call the lower provider's function of the same name with the
// provider socket (the thread's current provider set meanwhile), release.

#include "provider/lsp_log.h"
#include "provider/sock_info.h"
#include "provider/zul_state.h"

namespace zul {

// Call receives (the lower procedure table, the context); missing is the
// function's message for a handle without a context.
template <typename Result, typename Call>
Result ForwardCall(SOCKET s, const char* missing, Result failure, int* lpErrno, Call call) {
    LockedContext context(s, lpErrno);
    if (!context) {
        DebugMessage(missing, *lpErrno);
        *lpErrno = WSAENOTSOCK;
        return failure;
    }
    InLowerProvider in(context->Provider);
    return call(context->Provider->NextProcTable, context.get());
}

template <typename Call> int Forward(SOCKET s, const char* missing, int* lpErrno, Call call) {
    return ForwardCall<int>(s, missing, SOCKET_ERROR, lpErrno, call);
}

} // namespace zul
