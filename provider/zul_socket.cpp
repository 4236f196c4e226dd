// Making layered sockets: WSPSocket chooses the provider below, WSPAccept and
// WSPJoinLeaf wrap the sockets the lower provider makes, WSPDuplicateSocket
// keeps duplicates on this provider.

#include "common/wide.h"
#include "provider/zul_forward.h"
#include "provider/zul_procs.h"

#include <atomic>

namespace zul {
namespace {

std::atomic<int> gSocketCalls{0};

bool FlagsMatch(const WSAPROTOCOL_INFOW& a, const WSAPROTOCOL_INFOW& b) {
    return (a.dwServiceFlags1 & ~XP1_IFS_HANDLES) == (b.dwServiceFlags1 & ~XP1_IFS_HANDLES);
}

SOCKET FailSocket(int* lpErrno, int error) {
    *lpErrno = error;
    return INVALID_SOCKET;
}

// Step 3: whether any record takes the family, the type and the protocol.
int CheckRequest(int af, int type, int protocol) {
    ZulState& state = State();
    bool familyOk = af == 0;
    bool typeOk = false;
    bool protocolOk = protocol == 0 || protocol == 255 || type == SOCK_RAW_W;
    for (int i = 0; i < state.gLayerCount; ++i) {
        const WSAPROTOCOL_INFOW& next = state.gBaseInfo[i].NextProvider;
        DebugMessage("WSPSocket: iSockType = %d", type);
        DebugMessage("WSPSocket: type = %d", type);
        DebugMessage("WSPSocket: lpProtocolInfo->iSocketType = %d", type);
        DebugMessage("WSPSocket: gBaseInfo[i].NextProvider.iSocketType = %d", next.iSocketType);
        familyOk = familyOk || next.iAddressFamily == af;
        typeOk = typeOk || next.iSocketType == type;
        protocolOk = protocolOk || next.iProtocol == protocol;
    }
    const char* problem = !familyOk     ? "Address Family is not OK"
                          : !typeOk     ? "Socket Type is not OK"
                          : !protocolOk ? "Protocol is not OK"
                                        : nullptr;
    if (!problem) {
        return 0;
    }
    DebugMessage("WSPSocket: %s", problem);
    return !familyOk ? WSAEAFNOSUPPORT : !typeOk ? WSAESOCKTNOSUPPORT : WSAEPROTONOSUPPORT;
}

// Step 4: the first record whose next provider takes the socket; 0 or an error.
int ChooseProvider(const WSAPROTOCOL_INFOW& info, PROVIDER*& chosen) {
    ZulState& state = State();
    int af = info.iAddressFamily;
    int type = info.iSocketType;
    int protocol = info.iProtocol;
    bool anyProtocol = protocol == 0 || protocol == 255 || type == SOCK_RAW_W;
    for (int i = 0; i < state.gLayerCount; ++i) {
        const WSAPROTOCOL_INFOW& next = state.gBaseInfo[i].NextProvider;
        bool match = af != 0 ? next.iAddressFamily == af && next.iSocketType == type &&
                                   (anyProtocol || next.iProtocol == protocol)
                     : protocol != 0 ? next.iSocketType == type && next.iProtocol == protocol
                                     : next.iSocketType == type;
        if (match && FlagsMatch(next, info)) {
            chosen = &state.gBaseInfo[i];
            return 0;
        }
    }
    if (af == 0 && protocol != 0) {
        return WSAEPROTOTYPE;
    }
    DebugMessage("Unable to assign a Provider");
    return WSAEAFNOSUPPORT;
}

// A context and a layered handle for a socket the lower provider made.
SOCKET Wrap(PROVIDER* provider, SOCKET lower, SOCK_INFO* inherit, bool insertFirst, int* lpErrno,
            const char* handleMessage) {
    SOCK_INFO* context = CreateSockInfo(provider, lower, inherit, insertFirst, lpErrno);
    if (!context) {
        int ignored = 0;
        provider->NextProcTable.lpWSPCloseSocket(lower, &ignored);
        return INVALID_SOCKET;
    }
    SOCKET layered = State().MainUpcallTable.lpWPUCreateSocketHandle(
        provider->LayerProvider.dwCatalogEntryId, reinterpret_cast<DWORD_PTR>(context), lpErrno);
    if (layered == INVALID_SOCKET) {
        if (handleMessage) {
            DebugMessage(handleMessage, *lpErrno);
        }
        int ignored = 0;
        provider->NextProcTable.lpWSPCloseSocket(lower, &ignored);
        if (insertFirst) {
            RemoveSocketInfo(provider, context);
        }
        FreeSockInfo(context);
        return INVALID_SOCKET;
    }
    context->LayeredSocket = layered;
    if (!insertFirst) {
        InsertSocketInfo(provider, context);
    }
    return layered;
}

} // namespace

PROVIDER* FindMatchingProvider(const WSAPROTOCOL_INFOW* info) {
    ZulState& state = State();
    for (int i = 0; info && i < state.gLayerCount; ++i) {
        const WSAPROTOCOL_INFOW& next = state.gBaseInfo[i].NextProvider;
        if (next.iAddressFamily == info->iAddressFamily && next.iSocketType == info->iSocketType &&
            next.iProtocol == info->iProtocol && FlagsMatch(next, *info)) {
            return &state.gBaseInfo[i];
        }
    }
    return nullptr;
}

SOCKET WSPSocket(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g,
                 DWORD dwFlags, int* lpErrno) {
    int call = ++gSocketCalls;
    if (!lpProtocolInfo) {
        return FailSocket(lpErrno, WSAEINVAL);
    }
    DebugMessage("WSPSocket: [entry %d] Provider: '%s'", call,
                 qm::NarrowFromWide(lpProtocolInfo->szProtocol).c_str());
    af = lpProtocolInfo->iAddressFamily;
    type = lpProtocolInfo->iSocketType;
    protocol = lpProtocolInfo->iProtocol;
    if (State().gLayerCount == 0) {
        DebugMessage("WSPSocket: %s", "Address Family is not OK");
        return FailSocket(lpErrno, WSAEAFNOSUPPORT);
    }
    if (int error = CheckRequest(af, type, protocol)) {
        return FailSocket(lpErrno, error);
    }
    PROVIDER* provider = nullptr;
    if (int error = ChooseProvider(*lpProtocolInfo, provider)) {
        return FailSocket(lpErrno, error);
    }
    DebugMessage("Calling the lower provider WSPSocket: '%s'",
                 qm::NarrowFromWide(provider->NextProvider.szProtocol).c_str());
    // The caller's reserved value goes down in this call's own copy: the
    // record is shared by every thread creating a socket at the same time.
    WSAPROTOCOL_INFOW info = *LowerProtocolInfo(provider, lpProtocolInfo);
    info.dwProviderReserved = lpProtocolInfo->dwProviderReserved;
    SOCKET lower = INVALID_SOCKET;
    {
        InLowerProvider in(provider);
        lower = provider->NextProcTable.lpWSPSocket(af, type, protocol, &info, g, dwFlags, lpErrno);
    }
    if (lower == INVALID_SOCKET) {
        DebugMessage("WSPSocket: NextProcTable.WSPSocket() failed: %d", *lpErrno);
        return INVALID_SOCKET;
    }
    SOCKET layered = Wrap(provider, lower, nullptr, true, lpErrno,
                          "WSPSocket: WPUCreateSocketHandle() failed: %d");
    if (layered == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    DebugMessage("Lower provider socket = 0x%x  LSP Socket = 0x%x\n", unsigned(lower),
                 unsigned(layered));
    return layered;
}

SOCKET WSPAccept(SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC lpfnCondition,
                 DWORD_PTR dwCallbackData, int* lpErrno) {
    LockedContext context(s, lpErrno);
    if (!context) {
        *lpErrno = WSAENOTSOCK;
        return INVALID_SOCKET;
    }
    PROVIDER* provider = context->Provider;
    SOCKET lower = INVALID_SOCKET;
    {
        InLowerProvider in(provider);
        lower = provider->NextProcTable.lpWSPAccept(context->ProviderSocket, addr, addrlen,
                                                    lpfnCondition, dwCallbackData, lpErrno);
    }
    if (lower == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    return Wrap(provider, lower, context.get(), false, lpErrno,
                "WSPAccept(): WPUCreateSocketHandle() failed: %d");
}

SOCKET WSPJoinLeaf(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
                   WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, DWORD dwFlags, int* lpErrno) {
    LockedContext context(s, lpErrno);
    if (!context) {
        DebugMessage("WSPJoinLeaf: WPUQuerySocketHandleContext() failed: %d", *lpErrno);
        *lpErrno = WSAENOTSOCK;
        return INVALID_SOCKET;
    }
    PROVIDER* provider = context->Provider;
    SOCKET lower = INVALID_SOCKET;
    {
        InLowerProvider in(provider);
        lower = provider->NextProcTable.lpWSPJoinLeaf(context->ProviderSocket, name, namelen,
                                                      lpCallerData, lpCalleeData, lpSQOS, lpGQOS,
                                                      dwFlags, lpErrno);
    }
    if (lower == INVALID_SOCKET || lower == context->ProviderSocket) {
        return lower == INVALID_SOCKET ? INVALID_SOCKET : s;
    }
    return Wrap(provider, lower, context.get(), false, lpErrno, nullptr);
}

int WSPDuplicateSocket(SOCKET s, DWORD dwProcessId, WSAPROTOCOL_INFOW* lpProtocolInfo,
                       int* lpErrno) {
    return Forward(s, "WSPDuplicateSocket: WPUQuerySocketHandle() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       int result = next.lpWSPDuplicateSocket(context->ProviderSocket, dwProcessId,
                                                              lpProtocolInfo, lpErrno);
                       if (result == 0) {
                           DWORD reserved = lpProtocolInfo->dwProviderReserved;
                           *lpProtocolInfo = context->Provider->LayerProvider;
                           lpProtocolInfo->dwProviderReserved = reserved;
                       }
                       return result;
                   });
}

int WSPAddressToString(sockaddr* lpsaAddress, DWORD dwAddressLength,
                       WSAPROTOCOL_INFOW* lpProtocolInfo, WCHAR* lpszAddressString,
                       DWORD* lpdwAddressStringLength, int* lpErrno) {
    PROVIDER* provider = FindMatchingProvider(lpProtocolInfo);
    if (!provider) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    InLowerProvider in(provider);
    return provider->NextProcTable.lpWSPAddressToString(
        lpsaAddress, dwAddressLength, LowerProtocolInfo(provider, lpProtocolInfo),
        lpszAddressString, lpdwAddressStringLength, lpErrno);
}

int WSPStringToAddress(WCHAR* AddressString, int AddressFamily, WSAPROTOCOL_INFOW* lpProtocolInfo,
                       sockaddr* lpAddress, int* lpAddressLength, int* lpErrno) {
    PROVIDER* provider = FindMatchingProvider(lpProtocolInfo);
    if (!provider) {
        *lpErrno = WSAEINVAL;
        return SOCKET_ERROR;
    }
    InLowerProvider in(provider);
    return provider->NextProcTable.lpWSPStringToAddress(AddressString, AddressFamily,
                                                        LowerProtocolInfo(provider, lpProtocolInfo),
                                                        lpAddress, lpAddressLength, lpErrno);
}

} // namespace zul
