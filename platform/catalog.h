#pragma once
// The socket catalog stand-in: entries (WSAPROTOCOL_INFOW records) and their
// provider library paths kept in the machine hive. A catalog that does not exist
// yet is seeded with the base entries. Catalog ids are handed out in increasing
// order from 1001 and never reused. Errors are reported the Windows way.

#include "platform/winsock_types.h"

// Copies the entries in catalog order; lpiProtocols (0-terminated list) filters
// by protocol, null for all. Returns the number of records, or SOCKET_ERROR with
// WSAENOBUFS and the size needed in *lpdwBufferLength.
int WSCEnumProtocols(const int* lpiProtocols, WSAPROTOCOL_INFOW* lpProtocolBuffer,
                     DWORD* lpdwBufferLength, int* lpErrno);
int WSCInstallProvider(const GUID* lpProviderId, const WCHAR* lpszProviderDllPath,
                       const WSAPROTOCOL_INFOW* lpProtocolInfoList, DWORD dwNumberOfEntries,
                       int* lpErrno);
int WSCDeinstallProvider(const GUID* lpProviderId, int* lpErrno);
int WSCGetProviderPath(const GUID* lpProviderId, WCHAR* lpszProviderDllPath,
                       int* lpProviderDllPathLen, int* lpErrno);
// Returns ERROR_SUCCESS or a Windows error number.
int WSCWriteProviderOrder(DWORD* lpwdCatalogEntryId, DWORD dwNumberOfEntries);
