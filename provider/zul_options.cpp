// Socket options and control codes: the provider answers the protocol
// information options with its own layer entry, hands the listening socket's
// provider socket down with the accept-context option, hands out its own
// extension functions, and runs overlapped control codes through the overlapped
// manager.

#include "common/wide.h"
#include "platform/overlapped_record.h"
#include "provider/overlapped_ext.h"
#include "provider/overlapped_operation.h"
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

namespace {

// The provider's own function for an intercepted GUID, the lower provider's
// loaded into its slot on the way; the GUID of GetAcceptExSockaddrs goes down.
int ExtensionPointer(const WSPPROC_TABLE& next, SOCK_INFO* context, void* in, DWORD inSize,
                     void* out, DWORD outSize, DWORD* returned, int* lpErrno) {
    GUID id{};
    void* function = nullptr;
    if (!in || inSize < sizeof id || !out || outSize < sizeof function) {
        *lpErrno = WSAEFAULT;
        return SOCKET_ERROR;
    }
    std::memcpy(&id, in, sizeof id);
    if (id == WSAID_GETACCEPTEXSOCKADDRS) {
        return next.lpWSPIoctl(context->ProviderSocket, SIO_GET_EXTENSION_FUNCTION_POINTER, in,
                               inSize, out, outSize, returned, nullptr, nullptr, nullptr, lpErrno);
    }
    if (!ProviderExtension(id, function)) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    PROVIDER* provider = context->Provider;
    void*& slot = provider->NextProcTableExt.*ExtensionSlot(id);
    if (!ExtensionIn(slot)) {
        LoadExtensionFunction(provider, id, &slot, context->ProviderSocket);
    }
    std::memcpy(out, &function, sizeof function);
    if (returned) {
        *returned = sizeof function;
    }
    return 0;
}

// The provider socket as the handle; with a record, completed at once.
int PnpHandle(SOCK_INFO* context, void* out, DWORD outSize, DWORD* returned,
              WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE routine,
              WSATHREADID* thread, int* lpErrno) {
    DebugMessage("SIO_QUERY_PNP_HANDLE requested");
    if (!out || outSize < 4) {
        *lpErrno = WSAEFAULT;
        return SOCKET_ERROR;
    }
    auto handle = std::uint32_t(context->ProviderSocket);
    std::memcpy(out, &handle, 4);
    if (returned) {
        *returned = 4;
    }
    if (!lpOverlapped) {
        return 0;
    }
    DebugMessage("SIO_QUERY_PNP_HANDLE overlapped");
    int error = 0;
    OVERLAPPED_RECORD* record =
        PrepareOverlapped(context, LSP_OP_IOCTL, lpOverlapped, routine, thread,
                          "WSPIoctl: GetOverlappedStructure() returned NULL", &error);
    if (!record) {
        *lpErrno = error;
        return SOCKET_ERROR;
    }
    platform::MarkOverlappedPending(lpOverlapped);
    IntermediateCompletionRoutine(0, 4, &record->ProviderOverlapped, 0);
    return 0;
}

} // namespace

int WSPIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
             WSATHREADID* lpThreadId, int* lpErrno) {
    return Forward(
        s, "WSPIoctl: WPUQuerySocketHandleContext() failed: %d", lpErrno,
        [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
            if (dwIoControlCode == SIO_GET_EXTENSION_FUNCTION_POINTER) {
                return ExtensionPointer(next, context, lpvInBuffer, cbInBuffer, lpvOutBuffer,
                                        cbOutBuffer, lpcbBytesReturned, lpErrno);
            }
            if (dwIoControlCode == SIO_QUERY_PNP_HANDLE) {
                return PnpHandle(context, lpvOutBuffer, cbOutBuffer, lpcbBytesReturned,
                                 lpOverlapped, lpCompletionRoutine, lpThreadId, lpErrno);
            }
            if (!lpOverlapped) {
                return next.lpWSPIoctl(context->ProviderSocket, dwIoControlCode, lpvInBuffer,
                                       cbInBuffer, lpvOutBuffer, cbOutBuffer, lpcbBytesReturned,
                                       nullptr, lpCompletionRoutine, lpThreadId, lpErrno);
            }
            int error = StartOverlappedCall(
                context, LSP_OP_IOCTL, lpOverlapped, lpCompletionRoutine, lpThreadId,
                "WSPIoctl: GetOverlappedStructure() returned NULL", [&](OVERLAPPED_RECORD& record) {
                    record.IoctlArgs = IOCTL_ARGS{dwIoControlCode, lpvInBuffer, cbInBuffer,
                                                  lpvOutBuffer,    cbOutBuffer, 0};
                    return 0;
                });
            *lpErrno = error;
            return error == 0 ? 0 : SOCKET_ERROR;
        });
}

} // namespace zul
