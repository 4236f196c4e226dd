#pragma once
// The socket layer's service provider interface: the types a provider library
// and the socket host exchange, the 30-entry procedure table, the 15-entry
// upcall table and the provider entry point WSPStartup.
//
// On this platform a SOCKET is a file descriptor number. Socket addresses are
// POSIX sockaddrs; address families, socket types and protocols in protocol
// information records and in WSPSocket use the catalog's numbers
// (winsock_types.h). Send and receive flags are the POSIX MSG_ values.

#include "platform/winsock_types.h"

#include <cstdint>
#include <sys/socket.h>
#include <sys/time.h>

using WSAEVENT = HANDLE;
using GROUP = unsigned int;

struct WSABUF {
    std::uint32_t len;
    char* buf;
};

struct WSAOVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    WSAEVENT hEvent;
};

using LPWSAOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD dwError, DWORD cbTransferred,
                                                    WSAOVERLAPPED* lpOverlapped, DWORD dwFlags);

struct WSATHREADID {
    HANDLE ThreadHandle;
    DWORD_PTR Reserved;
};

constexpr int WSADESCRIPTION_LEN = 256;
struct WSPDATA {
    WORD wVersion;
    WORD wHighVersion;
    WCHAR szDescription[WSADESCRIPTION_LEN];
};

struct QOS; // quality of service: never interpreted here, passed through

constexpr int FD_MAX_EVENTS = 10;
struct WSANETWORKEVENTS {
    long lNetworkEvents;
    int iErrorCode[FD_MAX_EVENTS];
};

// A socket set as the socket layer passes it: a count and an array of handles.
constexpr unsigned FD_SETSIZE_W = 64;
struct WSA_FD_SET {
    unsigned fd_count;
    SOCKET fd_array[FD_SETSIZE_W];
};

using LPCONDITIONPROC = int (*)(WSABUF* lpCallerId, WSABUF* lpCallerData, QOS* lpSQOS, QOS* lpGQOS,
                                WSABUF* lpCalleeId, WSABUF* lpCalleeData, GROUP* g,
                                DWORD_PTR dwCallbackData);
using LPBLOCKINGCALLBACK = BOOL (*)(DWORD_PTR dwContext);
using LPWSAUSERAPC = void (*)(DWORD_PTR dwContext);

// The procedure table, in the socket layer's order.
struct WSPPROC_TABLE {
    SOCKET(*lpWSPAccept)
    (SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC lpfnCondition,
     DWORD_PTR dwCallbackData, int* lpErrno);
    int (*lpWSPAddressToString)(sockaddr* lpsaAddress, DWORD dwAddressLength,
                                WSAPROTOCOL_INFOW* lpProtocolInfo, WCHAR* lpszAddressString,
                                DWORD* lpdwAddressStringLength, int* lpErrno);
    int (*lpWSPAsyncSelect)(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent, int* lpErrno);
    int (*lpWSPBind)(SOCKET s, const sockaddr* name, int namelen, int* lpErrno);
    int (*lpWSPCancelBlockingCall)(int* lpErrno);
    int (*lpWSPCleanup)(int* lpErrno);
    int (*lpWSPCloseSocket)(SOCKET s, int* lpErrno);
    int (*lpWSPConnect)(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
                        WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, int* lpErrno);
    int (*lpWSPDuplicateSocket)(SOCKET s, DWORD dwProcessId, WSAPROTOCOL_INFOW* lpProtocolInfo,
                                int* lpErrno);
    int (*lpWSPEnumNetworkEvents)(SOCKET s, WSAEVENT hEventObject,
                                  WSANETWORKEVENTS* lpNetworkEvents, int* lpErrno);
    int (*lpWSPEventSelect)(SOCKET s, WSAEVENT hEventObject, long lNetworkEvents, int* lpErrno);
    BOOL(*lpWSPGetOverlappedResult)
    (SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait, DWORD* lpdwFlags,
     int* lpErrno);
    int (*lpWSPGetPeerName)(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
    int (*lpWSPGetSockName)(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
    int (*lpWSPGetSockOpt)(SOCKET s, int level, int optname, char* optval, int* optlen,
                           int* lpErrno);
    BOOL (*lpWSPGetQOSByName)(SOCKET s, WSABUF* lpQOSName, QOS* lpQOS, int* lpErrno);
    int (*lpWSPIoctl)(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
                      void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
                      WSAOVERLAPPED* lpOverlapped,
                      LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                      WSATHREADID* lpThreadId, int* lpErrno);
    SOCKET(*lpWSPJoinLeaf)
    (SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData, WSABUF* lpCalleeData,
     QOS* lpSQOS, QOS* lpGQOS, DWORD dwFlags, int* lpErrno);
    int (*lpWSPListen)(SOCKET s, int backlog, int* lpErrno);
    int (*lpWSPRecv)(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                     DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
                     LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                     WSATHREADID* lpThreadId, int* lpErrno);
    int (*lpWSPRecvDisconnect)(SOCKET s, WSABUF* lpInboundDisconnectData, int* lpErrno);
    int (*lpWSPRecvFrom)(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount,
                         DWORD* lpNumberOfBytesRecvd, DWORD* lpFlags, sockaddr* lpFrom,
                         int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                         LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                         WSATHREADID* lpThreadId, int* lpErrno);
    int (*lpWSPSelect)(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
                       const timeval* timeout, int* lpErrno);
    int (*lpWSPSend)(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
                     DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
                     LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                     WSATHREADID* lpThreadId, int* lpErrno);
    int (*lpWSPSendDisconnect)(SOCKET s, WSABUF* lpOutboundDisconnectData, int* lpErrno);
    int (*lpWSPSendTo)(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
                       DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
                       WSATHREADID* lpThreadId, int* lpErrno);
    int (*lpWSPSetSockOpt)(SOCKET s, int level, int optname, const char* optval, int optlen,
                           int* lpErrno);
    int (*lpWSPShutdown)(SOCKET s, int how, int* lpErrno);
    SOCKET(*lpWSPSocket)
    (int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g, DWORD dwFlags,
     int* lpErrno);
    int (*lpWSPStringToAddress)(WCHAR* AddressString, int AddressFamily,
                                WSAPROTOCOL_INFOW* lpProtocolInfo, sockaddr* lpAddress,
                                int* lpAddressLength, int* lpErrno);
};
constexpr int WSP_PROC_COUNT = 30;
static_assert(sizeof(WSPPROC_TABLE) == WSP_PROC_COUNT * sizeof(void*));

// True when a provider's start-up filled every entry of its table.
inline bool ProcTableComplete(const WSPPROC_TABLE& procs) {
    auto* entries = reinterpret_cast<void* const*>(&procs);
    for (int i = 0; i < WSP_PROC_COUNT; ++i) {
        if (!entries[i]) {
            return false;
        }
    }
    return true;
}

// The upcalls the socket host offers to providers, in the socket layer's order.
struct WSPUPCALLTABLE {
    BOOL (*lpWPUCloseEvent)(WSAEVENT hEvent, int* lpErrno);
    int (*lpWPUCloseSocketHandle)(SOCKET s, int* lpErrno);
    WSAEVENT (*lpWPUCreateEvent)(int* lpErrno);
    SOCKET (*lpWPUCreateSocketHandle)(DWORD dwCatalogEntryId, DWORD_PTR dwContext, int* lpErrno);
    int (*lpWPUFDIsSet)(SOCKET s, WSA_FD_SET* fdset);
    int (*lpWPUGetProviderPath)(GUID* lpProviderId, WCHAR* lpszProviderDllPath,
                                int* lpProviderDllPathLen, int* lpErrno);
    SOCKET (*lpWPUModifyIFSHandle)(DWORD dwCatalogEntryId, SOCKET ProposedHandle, int* lpErrno);
    BOOL (*lpWPUPostMessage)(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
    int (*lpWPUQueryBlockingCallback)(DWORD dwCatalogEntryId, LPBLOCKINGCALLBACK* lplpfnCallback,
                                      DWORD_PTR* lpdwContext, int* lpErrno);
    int (*lpWPUQuerySocketHandleContext)(SOCKET s, DWORD_PTR* lpContext, int* lpErrno);
    int (*lpWPUQueueApc)(WSATHREADID* lpThreadId, LPWSAUSERAPC lpfnUserApc, DWORD_PTR dwContext,
                         int* lpErrno);
    BOOL (*lpWPUResetEvent)(WSAEVENT hEvent, int* lpErrno);
    BOOL (*lpWPUSetEvent)(WSAEVENT hEvent, int* lpErrno);
    int (*lpWPUOpenCurrentThread)(WSATHREADID* lpThreadId, int* lpErrno);
    int (*lpWPUCloseThread)(WSATHREADID* lpThreadId, int* lpErrno);
};
static_assert(sizeof(WSPUPCALLTABLE) == 15 * sizeof(void*));

// The one export of every provider library.
using LPWSPSTARTUP = int (*)(WORD wVersionRequested, WSPDATA* lpWSPData,
                             WSAPROTOCOL_INFOW* lpProtocolInfo, WSPUPCALLTABLE UpcallTable,
                             WSPPROC_TABLE* lpProcTable);

constexpr WORD MAKEWORD_W(BYTE low, BYTE high) {
    return WORD(low | (WORD(high) << 8));
}

// Socket options and ioctl codes with the socket layer's numbers.
constexpr int SOL_SOCKET_W = 0xffff;
constexpr int SO_DEBUG_W = 0x0001;
constexpr int SO_ACCEPTCONN_W = 0x0002;
constexpr int SO_REUSEADDR_W = 0x0004;
constexpr int SO_KEEPALIVE_W = 0x0008;
constexpr int SO_DONTROUTE_W = 0x0010;
constexpr int SO_BROADCAST_W = 0x0020;
constexpr int SO_LINGER_W = 0x0080;
constexpr int SO_OOBINLINE_W = 0x0100;
constexpr int SO_SNDBUF_W = 0x1001;
constexpr int SO_RCVBUF_W = 0x1002;
constexpr int SO_SNDTIMEO_W = 0x1005;
constexpr int SO_RCVTIMEO_W = 0x1006;
constexpr int SO_ERROR_W = 0x1007;
constexpr int SO_TYPE_W = 0x1008;
constexpr int SO_PROTOCOL_INFOA_W = 0x2004;
constexpr int SO_PROTOCOL_INFOW_W = 0x2005;
constexpr int SO_UPDATE_ACCEPT_CONTEXT_W = 0x700B;

struct LINGER_W {
    std::uint16_t l_onoff;
    std::uint16_t l_linger;
};

constexpr DWORD FIONBIO_W = 0x8004667E;
constexpr DWORD FIONREAD_W = 0x4004667F;
constexpr DWORD SIO_GET_EXTENSION_FUNCTION_POINTER = 0xC8000006;
constexpr DWORD SIO_QUERY_PNP_HANDLE = 0x48000018;

// WSASocketW flags.
constexpr DWORD WSA_FLAG_OVERLAPPED = 0x01;
constexpr DWORD WSA_FLAG_NO_HANDLE_INHERIT = 0x80;

// Shutdown directions.
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// Network events (WSPAsyncSelect, WSPEventSelect): ten defined bits.
constexpr long FD_READ_W = 0x01;
constexpr long FD_WRITE_W = 0x02;
constexpr long FD_OOB_W = 0x04;
constexpr long FD_ACCEPT_W = 0x08;
constexpr long FD_CONNECT_W = 0x10;
constexpr long FD_CLOSE_W = 0x20;
constexpr long FD_ALL_EVENTS_W = (1 << FD_MAX_EVENTS) - 1;

constexpr UINT WM_USER_W = 0x0400;
