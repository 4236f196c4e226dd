// Socket options and control codes: the provider answers the protocol
// information options with its own layer entry, hands the listening socket's
// provider socket down with the accept-context option, and offers no extension
// functions or overlapped control codes until the overlapped manager exists.

#include "common/wide.h"
#include "provider/zul_forward.h"
#include "provider/zul_procs.h"

#include <cstring>

namespace zul {
namespace {

constexpr int kNarrowInfoSize = 372;
constexpr int kNarrowNameSize = 256;

// The narrow protocol information: the wide record's fields up to its name,
// then the name in the system code page.
int NarrowProtocolInfo(const WSAPROTOCOL_INFOW& info, char* optval, int* optlen, int* lpErrno) {
    if (*optlen < kNarrowInfoSize) {
        *lpErrno = WSAEFAULT;
        return SOCKET_ERROR;
    }
    constexpr std::size_t kHead = offsetof(WSAPROTOCOL_INFOW, szProtocol);
    static_assert(kHead + kNarrowNameSize == kNarrowInfoSize);
    std::memset(optval, 0, kNarrowInfoSize);
    std::memcpy(optval, &info, kHead);
    std::string name = qm::NarrowFromWide(qm::WideField(info.szProtocol, WSAPROTOCOL_LEN + 1));
    std::memcpy(optval + kHead, name.data(), std::min<std::size_t>(name.size(), 255));
    *optlen = kNarrowInfoSize;
    return 0;
}

int WideProtocolInfo(const WSAPROTOCOL_INFOW& info, char* optval, int* optlen, int* lpErrno) {
    if (*optlen < int(sizeof(WSAPROTOCOL_INFOW))) {
        *lpErrno = WSAEFAULT;
        return SOCKET_ERROR;
    }
    std::memcpy(optval, &info, sizeof info);
    *optlen = sizeof info;
    return 0;
}

} // namespace

int WSPGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen, int* lpErrno) {
    return Forward(s, "WSPGetSockOpt: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       const WSAPROTOCOL_INFOW& layer = context->Provider->LayerProvider;
                       if (level == SOL_SOCKET_W && optname == SO_PROTOCOL_INFOA_W) {
                           return NarrowProtocolInfo(layer, optval, optlen, lpErrno);
                       }
                       if (level == SOL_SOCKET_W && optname == SO_PROTOCOL_INFOW_W) {
                           return WideProtocolInfo(layer, optval, optlen, lpErrno);
                       }
                       return next.lpWSPGetSockOpt(context->ProviderSocket, level, optname, optval,
                                                   optlen, lpErrno);
                   });
}

int WSPSetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen, int* lpErrno) {
    LockedContext context(s, lpErrno);
    if (!context) {
        *lpErrno = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    InLowerProvider in(context->Provider);
    const WSPPROC_TABLE& next = context->Provider->NextProcTable;
    if (level == SOL_SOCKET_W && optname == SO_UPDATE_ACCEPT_CONTEXT_W) {
        if (!optval || optlen < int(sizeof(SOCKET))) {
            *lpErrno = WSAEFAULT;
            return SOCKET_ERROR;
        }
        SOCKET listening = 0;
        std::memcpy(&listening, optval, sizeof listening);
        LockedContext listener(listening, lpErrno);
        if (!listener) {
            DebugMessage("WSPSetSockOpt: WPUQuerySocketHandleContext() failed: %d", *lpErrno);
            *lpErrno = WSAENOTSOCK;
            return SOCKET_ERROR;
        }
        SOCKET lower = listener->ProviderSocket;
        return next.lpWSPSetSockOpt(context->ProviderSocket, level, optname,
                                    reinterpret_cast<const char*>(&lower), sizeof lower, lpErrno);
    }
    return next.lpWSPSetSockOpt(context->ProviderSocket, level, optname, optval, optlen, lpErrno);
}

int WSPIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
             WSATHREADID* lpThreadId, int* lpErrno) {
    return Forward(s, "WSPIoctl: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       if (dwIoControlCode == SIO_GET_EXTENSION_FUNCTION_POINTER) {
                           // The extension functions come with the overlapped manager.
                           *lpErrno = WSAEINVAL;
                           return SOCKET_ERROR;
                       }
                       if (dwIoControlCode == SIO_QUERY_PNP_HANDLE) {
                           DebugMessage("SIO_QUERY_PNP_HANDLE requested");
                           if (!lpvOutBuffer || cbOutBuffer < 4) {
                               *lpErrno = WSAEFAULT;
                               return SOCKET_ERROR;
                           }
                           auto handle = std::uint32_t(context->ProviderSocket);
                           std::memcpy(lpvOutBuffer, &handle, 4);
                           if (lpcbBytesReturned) {
                               *lpcbBytesReturned = 4;
                           }
                           return 0;
                       }
                       if (lpOverlapped) {
                           *lpErrno = WSAENOBUFS;
                           return SOCKET_ERROR;
                       }
                       return next.lpWSPIoctl(context->ProviderSocket, dwIoControlCode, lpvInBuffer,
                                              cbInBuffer, lpvOutBuffer, cbOutBuffer,
                                              lpcbBytesReturned, nullptr, lpCompletionRoutine,
                                              lpThreadId, lpErrno);
                   });
}

} // namespace zul
