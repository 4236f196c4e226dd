#pragma once
// The provider's 30 procedures (its procedure table) and the helpers of its
// start-up.

#include "provider/zul_types.h"

#include <vector>

namespace zul {

SOCKET WSPAccept(SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC lpfnCondition,
                 DWORD_PTR dwCallbackData, int* lpErrno);
int WSPAddressToString(sockaddr* lpsaAddress, DWORD dwAddressLength,
                       WSAPROTOCOL_INFOW* lpProtocolInfo, WCHAR* lpszAddressString,
                       DWORD* lpdwAddressStringLength, int* lpErrno);
int WSPAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent, int* lpErrno);
int WSPBind(SOCKET s, const sockaddr* name, int namelen, int* lpErrno);
int WSPCancelBlockingCall(int* lpErrno);
int WSPCleanup(int* lpErrno);
int WSPCloseSocket(SOCKET s, int* lpErrno);
int WSPConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, int* lpErrno);
int WSPDuplicateSocket(SOCKET s, DWORD dwProcessId, WSAPROTOCOL_INFOW* lpProtocolInfo,
                       int* lpErrno);
int WSPEnumNetworkEvents(SOCKET s, WSAEVENT hEventObject, WSANETWORKEVENTS* lpNetworkEvents,
                         int* lpErrno);
int WSPEventSelect(SOCKET s, WSAEVENT hEventObject, long lNetworkEvents, int* lpErrno);
BOOL WSPGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait,
                            DWORD* lpdwFlags, int* lpErrno);
int WSPGetPeerName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
int WSPGetSockName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
int WSPGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen, int* lpErrno);
BOOL WSPGetQOSByName(SOCKET s, WSABUF* lpQOSName, QOS* lpQOS, int* lpErrno);
int WSPIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
             WSATHREADID* lpThreadId, int* lpErrno);
SOCKET WSPJoinLeaf(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
                   WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, DWORD dwFlags, int* lpErrno);
int WSPListen(SOCKET s, int backlog, int* lpErrno);
int WSPRecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
            DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno);
int WSPRecvDisconnect(SOCKET s, WSABUF* lpInboundDisconnectData, int* lpErrno);
int WSPRecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                int* lpErrno);
int WSPSelect(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
              const timeval* timeout, int* lpErrno);
int WSPSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
            DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno);
int WSPSendDisconnect(SOCKET s, WSABUF* lpOutboundDisconnectData, int* lpErrno);
int WSPSendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
              DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
              int* lpErrno);
int WSPSetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen, int* lpErrno);
int WSPShutdown(SOCKET s, int how, int* lpErrno);
SOCKET WSPSocket(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g,
                 DWORD dwFlags, int* lpErrno);
int WSPStringToAddress(WCHAR* AddressString, int AddressFamily, WSAPROTOCOL_INFOW* lpProtocolInfo,
                       sockaddr* lpAddress, int* lpAddressLength, int* lpErrno);

// The whole catalog, or an empty list.
std::vector<WSAPROTOCOL_INFOW> GetProviders();

// Clean-up steps for every record: close what is left, clean up and unload the
// lower providers, free the records and the event.
void FreeProviders();

// The first record whose next provider matches the protocol information's
// family, type, protocol and first service flags (IFS handles aside), or null.
PROVIDER* FindMatchingProvider(const WSAPROTOCOL_INFOW* info);

// The protocol information to hand the lower provider: the record's next
// provider when its chain length is 1, otherwise the caller's.
WSAPROTOCOL_INFOW* LowerProtocolInfo(PROVIDER* provider, WSAPROTOCOL_INFOW* callers);

} // namespace zul
