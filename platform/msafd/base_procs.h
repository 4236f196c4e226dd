#pragma once
// The base provider's procedures over POSIX sockets. A socket of this provider
// is its kernel socket's descriptor, always close-on-exec.

#include "platform/winsock_ext.h"

namespace msafd {

SOCKET WSPAccept(SOCKET s, sockaddr* addr, int* addrlen, LPCONDITIONPROC lpfnCondition,
                 DWORD_PTR dwCallbackData, int* lpErrno);
int WSPBind(SOCKET s, const sockaddr* name, int namelen, int* lpErrno);
int WSPCloseSocket(SOCKET s, int* lpErrno);
int WSPConnect(SOCKET s, const sockaddr* name, int namelen, WSABUF* lpCallerData,
               WSABUF* lpCalleeData, QOS* lpSQOS, QOS* lpGQOS, int* lpErrno);
int WSPGetPeerName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
int WSPGetSockName(SOCKET s, sockaddr* name, int* namelen, int* lpErrno);
int WSPListen(SOCKET s, int backlog, int* lpErrno);
int WSPRecv(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
            DWORD* lpFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno);
int WSPRecvFrom(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesRecvd,
                DWORD* lpFlags, sockaddr* lpFrom, int* lpFromlen, WSAOVERLAPPED* lpOverlapped,
                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
                int* lpErrno);
int WSPSend(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
            DWORD dwFlags, WSAOVERLAPPED* lpOverlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
            int* lpErrno);
int WSPSendTo(SOCKET s, WSABUF* lpBuffers, DWORD dwBufferCount, DWORD* lpNumberOfBytesSent,
              DWORD dwFlags, const sockaddr* lpTo, int iTolen, WSAOVERLAPPED* lpOverlapped,
              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine, WSATHREADID* lpThreadId,
              int* lpErrno);
int WSPShutdown(SOCKET s, int how, int* lpErrno);
SOCKET WSPSocket(int af, int type, int protocol, WSAPROTOCOL_INFOW* lpProtocolInfo, GROUP g,
                 DWORD dwFlags, int* lpErrno);

int WSPGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen, int* lpErrno);
int WSPSetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen, int* lpErrno);
int WSPIoctl(SOCKET s, DWORD dwIoControlCode, void* lpvInBuffer, DWORD cbInBuffer,
             void* lpvOutBuffer, DWORD cbOutBuffer, DWORD* lpcbBytesReturned,
             WSAOVERLAPPED* lpOverlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine,
             WSATHREADID* lpThreadId, int* lpErrno);
int WSPAsyncSelect(SOCKET s, HWND hWnd, unsigned int wMsg, long lEvent, int* lpErrno);
BOOL WSPGetOverlappedResult(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD* lpcbTransfer, BOOL fWait,
                            DWORD* lpdwFlags, int* lpErrno);
// The extension functions for WSPIoctl's SIO_GET_EXTENSION_FUNCTION_POINTER:
// false (WSAEINVAL) for an unknown GUID.
bool ExtensionFunction(const GUID& id, void*& function);
BOOL TransmitFile(SOCKET hSocket, HANDLE hFile, DWORD nNumberOfBytesToWrite,
                  DWORD nNumberOfBytesPerSend, WSAOVERLAPPED* lpOverlapped,
                  TRANSMIT_FILE_BUFFERS* lpTransmitBuffers, DWORD dwReserved);
BOOL TransmitPackets(SOCKET hSocket, TRANSMIT_PACKETS_ELEMENT* lpPacketArray, DWORD nElementCount,
                     DWORD nSendSize, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags);
int WSPSelect(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
              const timeval* timeout, int* lpErrno);

// The procedures this provider does not offer: each fails with a clear code.
void FillUnsupported(WSPPROC_TABLE& procs);

} // namespace msafd
