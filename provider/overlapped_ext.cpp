// The extension functions the provider hands to programs: each finds the
// socket's context, makes sure the lower provider's function is loaded, and
// runs it through the overlapped manager (with a record) or directly.

#include "provider/overlapped_ext.h"
#include "platform/sockhost/winsock_api.h"
#include "provider/lsp_log.h"
#include "provider/overlapped_operation.h"
#include "provider/program_check.h"
#include "provider/send_start.h"
#include "provider/sock_info.h"
#include "provider/zul_state.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace zul {
namespace {

struct Messages {
    const char* context;
    const char* missingSlot;
    const char* noRecord;
};

// The context of the socket with the lower function in its slot; null (error
// set, messages logged) otherwise.
SOCK_INFO* Prepare(SOCKET s, void* EXT_WSPPROC_TABLE::*slot, const GUID& id,
                   const Messages& messages) {
    int error = 0;
    SOCK_INFO* context = FindAndLockSocketContext(s, &error);
    if (!context) {
        DebugMessage(messages.context, error);
        WSASetLastError(WSAENOTSOCK);
        return nullptr;
    }
    PROVIDER* provider = context->Provider;
    void*& function = provider->NextProcTableExt.*slot;
    if (!ExtensionIn(function)) {
        LoadExtensionFunction(provider, id, &function, context->ProviderSocket);
    }
    if (!ExtensionIn(function)) {
        DebugMessage("%s", messages.missingSlot);
        UnlockSocketContext(context, &error);
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    return context;
}

// The outcome of an extension call: its result, or FALSE with the error.
BOOL Finish(SOCK_INFO* context, int error) {
    int ignored = 0;
    UnlockSocketContext(context, &ignored);
    if (error != 0) {
        WSASetLastError(error);
        return FALSE;
    }
    return TRUE;
}

template <typename Fill>
BOOL Overlapped(SOCK_INFO* context, int kind, WSAOVERLAPPED* overlapped, const char* noRecord,
                Fill fill) {
    int error = StartOverlappedCall(context, kind, overlapped, nullptr, nullptr, noRecord,
                                    [&](OVERLAPPED_RECORD& record) {
                                        fill(record);
                                        return 0;
                                    });
    return Finish(context, error);
}

// A direct call of the lower function on the provider socket.
template <typename Call> BOOL Direct(SOCK_INFO* context, Call call) {
    BOOL result = FALSE;
    {
        InLowerProvider in(context->Provider);
        result = call(context->ProviderSocket);
    }
    int error = result ? 0 : WSAGetLastError();
    return Finish(context, error);
}

} // namespace

void* ExtensionIn(void*& slot) {
    return std::atomic_ref(slot).load(std::memory_order_acquire);
}

// Threads may load the same function at once: the slot is filled once and
// never changed after; every reader loads it with ExtensionIn.
void LoadExtensionFunction(PROVIDER* provider, const GUID& id, void** slot, SOCKET providerSocket) {
    GUID wanted = id;
    DWORD returned = 0;
    int error = 0;
    void* function = nullptr;
    InLowerProvider in(provider);
    if (provider->NextProcTable.lpWSPIoctl(providerSocket, SIO_GET_EXTENSION_FUNCTION_POINTER,
                                           &wanted, sizeof wanted, &function, sizeof function,
                                           &returned, nullptr, nullptr, nullptr, &error) != 0) {
        DebugMessage("LoadExtensionFunction: WSAIoctl (SIO_GET_EXTENSION_FUNCTION) failed: %d",
                     error);
        return;
    }
    void* empty = nullptr;
    std::atomic_ref(*slot).compare_exchange_strong(empty, function, std::memory_order_acq_rel);
}

BOOL ExtTransmitFile(SOCKET hSocket, HANDLE hFile, DWORD nNumberOfBytesToWrite,
                     DWORD nNumberOfBytesPerSend, WSAOVERLAPPED* lpOverlapped,
                     TRANSMIT_FILE_BUFFERS* lpTransmitBuffers, DWORD dwReserved) {
    SOCK_INFO* context = Prepare(hSocket, &EXT_WSPPROC_TABLE::lpfnTransmitFile, WSAID_TRANSMITFILE,
                                 {"ExtTransmitFile: WPUQuerySocketHandleContext() failed: %d",
                                  "Next proc table TransmitFile == NULL!",
                                  "ExtTransmitFile: GetOverlappedStructure() returned NULL!"});
    if (!context) {
        return FALSE;
    }
    if (lpOverlapped) {
        return Overlapped(context, LSP_OP_TRANSMITFILE, lpOverlapped,
                          "ExtTransmitFile: GetOverlappedStructure() returned NULL!",
                          [&](OVERLAPPED_RECORD& record) {
                              record.TransmitFileArgs = TRANSMITFILE_ARGS{
                                  hFile, nNumberOfBytesToWrite, nNumberOfBytesPerSend,
                                  lpTransmitBuffers, dwReserved};
                          });
    }
    auto lower = reinterpret_cast<LPFN_TRANSMITFILE>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnTransmitFile));
    return Direct(context, [&](SOCKET s) {
        return lower(s, hFile, nNumberOfBytesToWrite, nNumberOfBytesPerSend, nullptr,
                     lpTransmitBuffers, dwReserved);
    });
}

BOOL AcceptExExt(SOCKET sListenSocket, SOCKET sAcceptSocket, void* lpOutputBuffer,
                 DWORD dwReceiveDataLength, DWORD dwLocalAddressLength, DWORD dwRemoteAddressLength,
                 DWORD* lpdwBytesReceived, WSAOVERLAPPED* lpOverlapped) {
    SOCK_INFO* context = Prepare(
        sListenSocket, &EXT_WSPPROC_TABLE::lpfnAcceptEx, WSAID_ACCEPTEX,
        {"AcceptExExt: WPUQuerySocketHandleContext on listen socket failed: %d",
         "Lower provider AcceptEx == NULL!", "ExtAcceptEx: GetOverlappedStructre() returne NULL!"});
    if (!context) {
        return FALSE;
    }
    int error = 0;
    SOCK_INFO* accepting = FindAndLockSocketContext(sAcceptSocket, &error);
    if (!accepting) {
        DebugMessage("AcceptExExt: WPUQuerySocketHandleContext on accept socket failed: %d", error);
        return Finish(context, WSAENOTSOCK);
    }
    SOCKET providerAccept = accepting->ProviderSocket;
    UnlockSocketContext(accepting, &error);
    if (lpOverlapped) {
        return Overlapped(context, LSP_OP_ACCEPTEX, lpOverlapped,
                          "ExtAcceptEx: GetOverlappedStructre() returne NULL!",
                          [&](OVERLAPPED_RECORD& record) {
                              record.AcceptExArgs = ACCEPTEX_ARGS{sAcceptSocket,
                                                                  providerAccept,
                                                                  lpOutputBuffer,
                                                                  dwReceiveDataLength,
                                                                  dwLocalAddressLength,
                                                                  dwRemoteAddressLength,
                                                                  0};
                          });
    }
    auto lower = reinterpret_cast<LPFN_ACCEPTEX>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnAcceptEx));
    return Direct(context, [&](SOCKET s) {
        return lower(s, providerAccept, lpOutputBuffer, dwReceiveDataLength, dwLocalAddressLength,
                     dwRemoteAddressLength, lpdwBytesReceived, nullptr);
    });
}

// No program check here: the connection question is asked by WSPConnect only.
BOOL ExtConnectEx(SOCKET s, const sockaddr* name, int namelen, void* lpSendBuffer,
                  DWORD dwSendDataLength, DWORD* lpdwBytesSent, WSAOVERLAPPED* lpOverlapped) {
    SOCK_INFO* context = Prepare(s, &EXT_WSPPROC_TABLE::lpfnConnectEx, WSAID_CONNECTEX,
                                 {"ExtConnectEx: WPUQuerySocketHandleContext() failed: %d",
                                  "Next proc table ConnectEx == NULL!",
                                  "ExtConnectEx: GetOverlappedStructure() returned NULL"});
    if (!context) {
        return FALSE;
    }
    if (!name || namelen <= 0 || std::size_t(namelen) > sizeof(sockaddr_storage)) {
        return Finish(context, WSAEFAULT);
    }
    if (int refused = 0; IsConnectRefused(Informant(), context, name, namelen, &refused)) {
        return Finish(context, refused);
    }
    if (lpOverlapped) {
        return Overlapped(context, LSP_OP_CONNECTEX, lpOverlapped,
                          "ExtConnectEx: GetOverlappedStructure() returned NULL",
                          [&](OVERLAPPED_RECORD& record) {
                              CONNECTEX_ARGS& args = record.ConnectExArgs;
                              std::memcpy(&args.name, name, std::size_t(namelen));
                              args.namelen = namelen;
                              args.lpSendBuffer = lpSendBuffer;
                              args.dwSendDataLength = dwSendDataLength;
                          });
    }
    auto lower = reinterpret_cast<LPFN_CONNECTEX>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnConnectEx));
    return Direct(context, [&](SOCKET own) {
        return lower(own, name, namelen, lpSendBuffer, dwSendDataLength, lpdwBytesSent, nullptr);
    });
}

BOOL ExtDisconnectEx(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags, DWORD dwReserved) {
    SOCK_INFO* context = Prepare(s, &EXT_WSPPROC_TABLE::lpfnDisconnectEx, WSAID_DISCONNECTEX,
                                 {"ExtDisconnectEx: WPUQuerySocketHandleContext() failed: %d",
                                  "Next proc table DisconnectEx == NULL!",
                                  "ExtDisconnectEx: GetOverlappedStructure() returned NULL"});
    if (!context) {
        return FALSE;
    }
    if (lpOverlapped) {
        return Overlapped(context, LSP_OP_DISCONNECTEX, lpOverlapped,
                          "ExtDisconnectEx: GetOverlappedStructure() returned NULL",
                          [&](OVERLAPPED_RECORD& record) {
                              record.DisconnectExArgs = DISCONNECTEX_ARGS{dwFlags, dwReserved};
                          });
    }
    auto lower = reinterpret_cast<LPFN_DISCONNECTEX>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnDisconnectEx));
    return Direct(context, [&](SOCKET own) { return lower(own, nullptr, dwFlags, dwReserved); });
}

BOOL ExtTransmitPackets(SOCKET hSocket, TRANSMIT_PACKETS_ELEMENT* lpPacketArray,
                        DWORD nElementCount, DWORD nSendSize, WSAOVERLAPPED* lpOverlapped,
                        DWORD dwFlags) {
    SOCK_INFO* context =
        Prepare(hSocket, &EXT_WSPPROC_TABLE::lpfnTransmitPackets, WSAID_TRANSMITPACKETS,
                {"ExtTransmitPackets: WPUQuerySocketHandleContext() failed: %d",
                 "Next proc table TransmitPackets == NULL!",
                 "ExtTransmitPackets: GetOverlappedStructure() returned NULL"});
    if (!context) {
        return FALSE;
    }
    if (lpOverlapped) {
        return Overlapped(context, LSP_OP_TRANSMITPACKETS, lpOverlapped,
                          "ExtTransmitPackets: GetOverlappedStructure() returned NULL",
                          [&](OVERLAPPED_RECORD& record) {
                              record.TransmitPacketsArgs = TRANSMITPACKETS_ARGS{
                                  lpPacketArray, nElementCount, nSendSize, dwFlags};
                          });
    }
    auto lower = reinterpret_cast<LPFN_TRANSMITPACKETS>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnTransmitPackets));
    return Direct(context, [&](SOCKET own) {
        return lower(own, lpPacketArray, nElementCount, nSendSize, nullptr, dwFlags);
    });
}

int ExtWSARecvmsg(SOCKET s, WSAMSG* lpMsg, DWORD* lpdwNumberOfBytesRecvd,
                  WSAOVERLAPPED* lpOverlapped,
                  LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    SOCK_INFO* context = Prepare(s, &EXT_WSPPROC_TABLE::lpfnWSARecvMsg, WSAID_WSARECVMSG,
                                 {"ExtWSARecvmsg: WPUQuerySocketHandleContext() failed: %d",
                                  "Next proc table WSARecvMsg == NULL!",
                                  "ExtWSARecvMsg: GetOverlappedStructure() returned NULL"});
    if (!context) {
        return SOCKET_ERROR;
    }
    int error = 0;
    if (lpOverlapped) {
        error =
            StartOverlappedCall(context, LSP_OP_WSARECVMSG, lpOverlapped, lpCompletionRoutine,
                                nullptr, "ExtWSARecvMsg: GetOverlappedStructure() returned NULL",
                                [&](OVERLAPPED_RECORD& record) {
                                    record.RecvMsgArgs = WSARECVMSG_ARGS{lpMsg, 0};
                                    return 0;
                                });
        return Finish(context, error) ? 0 : SOCKET_ERROR;
    }
    auto lower = reinterpret_cast<LPFN_WSARECVMSG>(
        ExtensionIn(context->Provider->NextProcTableExt.lpfnWSARecvMsg));
    return Direct(context,
                  [&](SOCKET own) {
                      return lower(own, lpMsg, lpdwNumberOfBytesRecvd, nullptr, nullptr) == 0;
                  })
               ? 0
               : SOCKET_ERROR;
}

int ExtWSASendMsg(SOCKET s, WSAMSG* lpMsg, DWORD dwFlags, DWORD* lpNumberOfBytesSent,
                  WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
    SOCK_INFO* context = Prepare(s, &EXT_WSPPROC_TABLE::lpfnWSASendMsg, WSAID_WSASENDMSG,
                                 {"ExtWSASendMsg: WPUQuerySocketHandleContext() failed: %d",
                                  "Next proc table WSASendMsg == NULL!", nullptr});
    if (!context) {
        return SOCKET_ERROR;
    }
    int error = 0;
    if (!lpMsg || !lpNumberOfBytesSent) {
        error = WSAEFAULT;
    } else if (lpOverlapped) {
        error = WSAEOPNOTSUPP;
    } else if (!IsReset(context, &error) &&
               !IsDatagramRefused(context, lpMsg->name, lpMsg->namelen, lpMsg->lpBuffers,
                                  lpMsg->dwBufferCount, &error)) {
        // The start of a stream is looked at as a plain send's is; bytes held
        // back go out later without this send's control data.
        switch (InspectSend(context, s, lpMsg->lpBuffers, lpMsg->dwBufferCount, &error)) {
        case SendStep::Held:
            *lpNumberOfBytesSent = DWORD(BuffersLength(lpMsg->lpBuffers, lpMsg->dwBufferCount));
            return Finish(context, 0) ? 0 : SOCKET_ERROR;
        case SendStep::Refused:
            break;
        case SendStep::Forward:
            auto lower = reinterpret_cast<LPFN_WSASENDMSG>(
                ExtensionIn(context->Provider->NextProcTableExt.lpfnWSASendMsg));
            return Direct(context,
                          [&](SOCKET own) {
                              return lower(own, lpMsg, dwFlags, lpNumberOfBytesSent, nullptr,
                                           nullptr) == 0;
                          })
                       ? 0
                       : SOCKET_ERROR;
        }
    }
    Finish(context, error);
    return SOCKET_ERROR;
}

ExtensionSlotOf ExtensionSlot(const GUID& id) {
    struct Entry {
        const GUID& id;
        ExtensionSlotOf slot;
    };
    const Entry entries[] = {
        {WSAID_TRANSMITFILE, &EXT_WSPPROC_TABLE::lpfnTransmitFile},
        {WSAID_ACCEPTEX, &EXT_WSPPROC_TABLE::lpfnAcceptEx},
        {WSAID_CONNECTEX, &EXT_WSPPROC_TABLE::lpfnConnectEx},
        {WSAID_DISCONNECTEX, &EXT_WSPPROC_TABLE::lpfnDisconnectEx},
        {WSAID_TRANSMITPACKETS, &EXT_WSPPROC_TABLE::lpfnTransmitPackets},
        {WSAID_WSARECVMSG, &EXT_WSPPROC_TABLE::lpfnWSARecvMsg},
        {WSAID_WSASENDMSG, &EXT_WSPPROC_TABLE::lpfnWSASendMsg},
    };
    for (const Entry& entry : entries) {
        if (entry.id == id) {
            return entry.slot;
        }
    }
    return nullptr;
}

bool ProviderExtension(const GUID& id, void*& function) {
    struct Entry {
        const GUID& id;
        void* function;
    };
    const Entry entries[] = {
        {WSAID_TRANSMITFILE, reinterpret_cast<void*>(LPFN_TRANSMITFILE(ExtTransmitFile))},
        {WSAID_ACCEPTEX, reinterpret_cast<void*>(LPFN_ACCEPTEX(AcceptExExt))},
        {WSAID_CONNECTEX, reinterpret_cast<void*>(LPFN_CONNECTEX(ExtConnectEx))},
        {WSAID_DISCONNECTEX, reinterpret_cast<void*>(LPFN_DISCONNECTEX(ExtDisconnectEx))},
        {WSAID_TRANSMITPACKETS, reinterpret_cast<void*>(LPFN_TRANSMITPACKETS(ExtTransmitPackets))},
        {WSAID_WSARECVMSG, reinterpret_cast<void*>(LPFN_WSARECVMSG(ExtWSARecvmsg))},
        {WSAID_WSASENDMSG, reinterpret_cast<void*>(LPFN_WSASENDMSG(ExtWSASendMsg))},
    };
    for (const Entry& entry : entries) {
        if (entry.id == id) {
            function = entry.function;
            return true;
        }
    }
    return false;
}

} // namespace zul
