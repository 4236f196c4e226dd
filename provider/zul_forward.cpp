// The intercepted calls that only forward to the lower provider.

#include "provider/zul_forward.h"
#include "provider/zul_procs.h"

namespace zul {

int WSPBind(SOCKET s, const sockaddr* name, int namelen, int* lpErrno) {
    return Forward(s, "WSPBind: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPBind(context->ProviderSocket, name, namelen, lpErrno);
                   });
}

int WSPListen(SOCKET s, int backlog, int* lpErrno) {
    return Forward(s, "WSPListen: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPListen(context->ProviderSocket, backlog, lpErrno);
                   });
}

int WSPGetPeerName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno) {
    return Forward(s, "WSPGetPeerName: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPGetPeerName(context->ProviderSocket, name, namelen,
                                                    lpErrno);
                   });
}

int WSPGetSockName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno) {
    return Forward(s, "WSPGetSockName: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPGetSockName(context->ProviderSocket, name, namelen,
                                                    lpErrno);
                   });
}

int WSPShutdown(SOCKET s, int how, int* lpErrno) {
    return Forward(s, "WSPShutdown: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPShutdown(context->ProviderSocket, how, lpErrno);
                   });
}

int WSPRecvDisconnect(SOCKET s, WSABUF* lpInboundDisconnectData, int* lpErrno) {
    return Forward(s, "WSPRecvDisconnect: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPRecvDisconnect(context->ProviderSocket,
                                                       lpInboundDisconnectData, lpErrno);
                   });
}

int WSPSendDisconnect(SOCKET s, WSABUF* lpOutboundDisconnectData, int* lpErrno) {
    return Forward(s, "WSPSendDisconnect: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPSendDisconnect(context->ProviderSocket,
                                                       lpOutboundDisconnectData, lpErrno);
                   });
}

int WSPEventSelect(SOCKET s, WSAEVENT hEventObject, long lNetworkEvents, int* lpErrno) {
    return Forward(s, "WSPEventSelect: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPEventSelect(context->ProviderSocket, hEventObject,
                                                    lNetworkEvents, lpErrno);
                   });
}

int WSPEnumNetworkEvents(SOCKET s, WSAEVENT hEventObject, WSANETWORKEVENTS* lpNetworkEvents,
                         int* lpErrno) {
    return Forward(s, "WSPEnumNetworkEvents: WPUQuerySocketHandleContext() failed: %d", lpErrno,
                   [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                       return next.lpWSPEnumNetworkEvents(context->ProviderSocket, hEventObject,
                                                          lpNetworkEvents, lpErrno);
                   });
}

BOOL WSPGetQOSByName(SOCKET s, WSABUF* lpQOSName, QOS* lpQOS, int* lpErrno) {
    return ForwardCall<BOOL>(s, "WSPGetQOSByName: WPUQuerySocketHandleContext() failed: %d", FALSE,
                             lpErrno, [&](const WSPPROC_TABLE& next, SOCK_INFO* context) {
                                 return next.lpWSPGetQOSByName(context->ProviderSocket, lpQOSName,
                                                               lpQOS, lpErrno);
                             });
}

int WSPCancelBlockingCall(int* lpErrno) {
    PROVIDER* provider = ThreadProvider();
    return provider ? provider->NextProcTable.lpWSPCancelBlockingCall(lpErrno) : 0;
}

} // namespace zul
