#pragma once
// The socket layer's extension functions, reached through WSAIoctl with
// SIO_GET_EXTENSION_FUNCTION_POINTER and their published GUIDs, and the records
// they take. A file HANDLE given to TransmitFile and TransmitPackets is a file
// descriptor number (FileHandle below).

#include "platform/winsock_spi.h"

#include <cstdint>

constexpr GUID WSAID_TRANSMITFILE = {
    0xb5367df0, 0xcbac, 0x11cf, {0x95, 0xca, 0x00, 0x80, 0x5f, 0x48, 0xa1, 0x92}};
constexpr GUID WSAID_ACCEPTEX = {
    0xb5367df1, 0xcbac, 0x11cf, {0x95, 0xca, 0x00, 0x80, 0x5f, 0x48, 0xa1, 0x92}};
constexpr GUID WSAID_GETACCEPTEXSOCKADDRS = {
    0xb5367df2, 0xcbac, 0x11cf, {0x95, 0xca, 0x00, 0x80, 0x5f, 0x48, 0xa1, 0x92}};
constexpr GUID WSAID_CONNECTEX = {
    0x25a207b9, 0xddf3, 0x4660, {0x8e, 0xe9, 0x76, 0xe5, 0x8c, 0x74, 0x06, 0x3e}};
constexpr GUID WSAID_DISCONNECTEX = {
    0x7fda2e11, 0x8630, 0x436f, {0xa0, 0x31, 0xf5, 0x36, 0xa6, 0xee, 0xc1, 0x57}};
constexpr GUID WSAID_TRANSMITPACKETS = {
    0xd9689da0, 0x1f90, 0x11d3, {0x99, 0x71, 0x00, 0xc0, 0x4f, 0x68, 0xc8, 0x76}};
constexpr GUID WSAID_WSARECVMSG = {
    0xf689d7c8, 0x6f1f, 0x436b, {0x8a, 0x53, 0xe5, 0x4f, 0xe3, 0x51, 0xc3, 0x22}};
constexpr GUID WSAID_WSASENDMSG = {
    0xa441e712, 0x754f, 0x43ca, {0x84, 0xa7, 0x0d, 0xee, 0x44, 0xcf, 0x60, 0x6d}};

inline HANDLE FileHandle(int fd) {
    return reinterpret_cast<HANDLE>(std::intptr_t(fd));
}
inline int FileDescriptor(HANDLE file) {
    return int(reinterpret_cast<std::intptr_t>(file));
}

struct TRANSMIT_FILE_BUFFERS {
    void* Head;
    DWORD HeadLength;
    void* Tail;
    DWORD TailLength;
};

constexpr DWORD TP_ELEMENT_MEMORY = 1;
constexpr DWORD TP_ELEMENT_FILE = 2;
constexpr DWORD TP_ELEMENT_EOP = 4;

struct TRANSMIT_PACKETS_ELEMENT {
    DWORD dwElFlags;
    DWORD cLength; // 0 for a file element: to the end of the file
    union {
        struct {
            std::int64_t nFileOffset;
            HANDLE hFile;
        };
        void* pBuffer;
    };
};

// Disconnect and TransmitFile flags.
constexpr DWORD TF_DISCONNECT = 0x01;
constexpr DWORD TF_REUSE_SOCKET = 0x02;

struct WSAMSG {
    sockaddr* name;
    int namelen;
    WSABUF* lpBuffers;
    DWORD dwBufferCount;
    WSABUF Control;
    DWORD dwFlags;
};

using LPFN_TRANSMITFILE = BOOL (*)(SOCKET hSocket, HANDLE hFile, DWORD nNumberOfBytesToWrite,
                                   DWORD nNumberOfBytesPerSend, WSAOVERLAPPED* lpOverlapped,
                                   TRANSMIT_FILE_BUFFERS* lpTransmitBuffers, DWORD dwReserved);
using LPFN_ACCEPTEX = BOOL (*)(SOCKET sListenSocket, SOCKET sAcceptSocket, void* lpOutputBuffer,
                               DWORD dwReceiveDataLength, DWORD dwLocalAddressLength,
                               DWORD dwRemoteAddressLength, DWORD* lpdwBytesReceived,
                               WSAOVERLAPPED* lpOverlapped);
using LPFN_GETACCEPTEXSOCKADDRS = void (*)(void* lpOutputBuffer, DWORD dwReceiveDataLength,
                                           DWORD dwLocalAddressLength, DWORD dwRemoteAddressLength,
                                           sockaddr** LocalSockaddr, int* LocalSockaddrLength,
                                           sockaddr** RemoteSockaddr, int* RemoteSockaddrLength);
using LPFN_CONNECTEX = BOOL (*)(SOCKET s, const sockaddr* name, int namelen, void* lpSendBuffer,
                                DWORD dwSendDataLength, DWORD* lpdwBytesSent,
                                WSAOVERLAPPED* lpOverlapped);
using LPFN_DISCONNECTEX = BOOL (*)(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags,
                                   DWORD dwReserved);
using LPFN_TRANSMITPACKETS = BOOL (*)(SOCKET hSocket, TRANSMIT_PACKETS_ELEMENT* lpPacketArray,
                                      DWORD nElementCount, DWORD nSendSize,
                                      WSAOVERLAPPED* lpOverlapped, DWORD dwFlags);
using LPFN_WSARECVMSG = int (*)(SOCKET s, WSAMSG* lpMsg, DWORD* lpdwNumberOfBytesRecvd,
                                WSAOVERLAPPED* lpOverlapped,
                                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
// A send with an address and control data (the message's flags are not used).
using LPFN_WSASENDMSG = int (*)(SOCKET s, WSAMSG* lpMsg, DWORD dwFlags, DWORD* lpNumberOfBytesSent,
                                WSAOVERLAPPED* lpOverlapped,
                                LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);

// The second word of a network event notification.
constexpr LPARAM WSAMAKESELECTREPLY(long event, int error) {
    return LPARAM((event & 0xffff) | (long(error) << 16));
}
