#pragma once
// The extension functions of the provider (handed to programs by WSPIoctl) and
// the loading of the lower provider's.

#include "platform/winsock_ext.h"
#include "provider/zul_types.h"

namespace zul {

// Fills a provider's extension slot with the lower provider's function for the
// GUID (null when the lower provider has none).
void LoadExtensionFunction(PROVIDER* provider, const GUID& id, void** slot, SOCKET providerSocket);
// The function in an extension slot, or null while none is loaded.
void* ExtensionIn(void*& slot);

// The provider's own function for a GUID it intercepts; false for any other.
bool ProviderExtension(const GUID& id, void*& function);

// The slot of the lower function behind one of those GUIDs.
using ExtensionSlotOf = void* EXT_WSPPROC_TABLE::*;
ExtensionSlotOf ExtensionSlot(const GUID& id);

BOOL ExtTransmitFile(SOCKET hSocket, HANDLE hFile, DWORD nNumberOfBytesToWrite,
                     DWORD nNumberOfBytesPerSend, WSAOVERLAPPED* lpOverlapped,
                     TRANSMIT_FILE_BUFFERS* lpTransmitBuffers, DWORD dwReserved);
BOOL AcceptExExt(SOCKET sListenSocket, SOCKET sAcceptSocket, void* lpOutputBuffer,
                 DWORD dwReceiveDataLength, DWORD dwLocalAddressLength, DWORD dwRemoteAddressLength,
                 DWORD* lpdwBytesReceived, WSAOVERLAPPED* lpOverlapped);
BOOL ExtConnectEx(SOCKET s, const sockaddr* name, int namelen, void* lpSendBuffer,
                  DWORD dwSendDataLength, DWORD* lpdwBytesSent, WSAOVERLAPPED* lpOverlapped);
BOOL ExtDisconnectEx(SOCKET s, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags, DWORD dwReserved);
BOOL ExtTransmitPackets(SOCKET hSocket, TRANSMIT_PACKETS_ELEMENT* lpPacketArray,
                        DWORD nElementCount, DWORD nSendSize, WSAOVERLAPPED* lpOverlapped,
                        DWORD dwFlags);
int ExtWSARecvmsg(SOCKET s, WSAMSG* lpMsg, DWORD* lpdwNumberOfBytesRecvd,
                  WSAOVERLAPPED* lpOverlapped,
                  LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
// A send with control data: refused as every send is when a datagram goes to
// port 443 or the connection was reset, else the lower provider's, on the
// calling thread only.
int ExtWSASendMsg(SOCKET s, WSAMSG* lpMsg, DWORD dwFlags, DWORD* lpNumberOfBytesSent,
                  WSAOVERLAPPED* lpOverlapped,
                  LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);

} // namespace zul
