#pragma once
// The socket layer's calls for programs and tests, served through the catalog's
// providers. Names that would clash with the C library carry the prefix ws_.
// Every call reports failure the Winsock way: SOCKET_ERROR (or INVALID_SOCKET,
// FALSE) and the error code from WSAGetLastError.

#include "platform/winsock_spi.h"

#define QM_SOCKHOST_API __attribute__((visibility("default")))

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

extern "C" {

QM_SOCKHOST_API int WSAStartup(WORD wVersionRequested, WSADATA* lpWSAData);
// The last clean-up of the process cleans up every started provider.
QM_SOCKHOST_API int WSACleanup();
QM_SOCKHOST_API int WSAGetLastError();
QM_SOCKHOST_API void WSASetLastError(int iError);

QM_SOCKHOST_API SOCKET WSASocketW(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo,
                                  GROUP g, DWORD dwFlags);
QM_SOCKHOST_API int closesocket(SOCKET s);
QM_SOCKHOST_API int WSAConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
                               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS);
QM_SOCKHOST_API int WSASend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount,
                            DWORD* lpNumberOfBytesSent, DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
                            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
QM_SOCKHOST_API int WSARecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount,
                            DWORD* lpNumberOfBytesRecvd, DWORD* lpFlags,
                            WSAOVERLAPPED* lpOverlapped,
                            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
QM_SOCKHOST_API int WSASendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount,
                              DWORD* lpNumberOfBytesSent, DWORD dwFlags, const sockaddr* lpTo,
                              int iTolen, WSAOVERLAPPED* lpOverlapped,
                              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
QM_SOCKHOST_API int WSARecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount,
                                DWORD* lpNumberOfBytesRecvd, DWORD* lpFlags, sockaddr* lpFrom,
                                int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
QM_SOCKHOST_API int WSAIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
                             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
                             WSAOVERLAPPED* lpOverlapped,
                             LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
QM_SOCKHOST_API int ioctlsocket(SOCKET s, long cmd, std::uint32_t* argp);
QM_SOCKHOST_API int WSAAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent);
QM_SOCKHOST_API int WSAEventSelect(SOCKET s, WSAEVENT hEventObject, long lNetworkEvents);
QM_SOCKHOST_API int WSAEnumNetworkEvents(SOCKET s, WSAEVENT hEventObject,
                                         WSANETWORKEVENTS* lpNetworkEvents);
QM_SOCKHOST_API BOOL WSAGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped,
                                            DWORD* lpcbTransfer, BOOL fWait, DWORD* lpdwFlags);
QM_SOCKHOST_API int WSADuplicateSocketW(SOCKET s, DWORD dwProcessId,
                                        WSAPROTOCOL_INFOW* lpProtocolInfo);

// Event objects of the socket layer, and the alertable wait on them that also
// runs the completion routines queued to the calling thread.
QM_SOCKHOST_API WSAEVENT WSACreateEvent();
QM_SOCKHOST_API BOOL WSACloseEvent(WSAEVENT hEvent);
QM_SOCKHOST_API BOOL WSASetEvent(WSAEVENT hEvent);
QM_SOCKHOST_API BOOL WSAResetEvent(WSAEVENT hEvent);
QM_SOCKHOST_API DWORD WSAWaitForMultipleEvents(DWORD cEvents, const WSAEVENT* lphEvents,
                                               BOOL fWaitAll, DWORD dwTimeout, BOOL fAlertable);

// For providers: completes a program's overlapped request (results into the
// record, then its event is set). Returns 0.
QM_SOCKHOST_API int WPUCompleteOverlappedRequest(SOCKET s, WSAOVERLAPPED* lpOverlapped,
                                                 DWORD dwError, DWORD cbTransferred, int* lpErrno);

QM_SOCKHOST_API int ws_bind(SOCKET s, const sockaddr* name, int namelen);
QM_SOCKHOST_API int ws_listen(SOCKET s, int backlog);
QM_SOCKHOST_API SOCKET ws_accept(SOCKET s, sockaddr* addr, int* addrlen);
QM_SOCKHOST_API int ws_shutdown(SOCKET s, int how);
QM_SOCKHOST_API int ws_getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
QM_SOCKHOST_API int ws_setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
QM_SOCKHOST_API int ws_getpeername(SOCKET s, sockaddr* name, int* namelen);
QM_SOCKHOST_API int ws_getsockname(SOCKET s, sockaddr* name, int* namelen);
QM_SOCKHOST_API int ws_select(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds,
                              WSA_FD_SET* exceptfds, const timeval* timeout);
}
