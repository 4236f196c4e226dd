#pragma once
// The socket catalog stand-in: entries (WSAPROTOCOL_INFOW records) and their
// provider library paths kept in the machine hive. A catalog that does not exist
// yet is seeded with the base entries. Catalog ids are handed out in increasing
// order from 1001 and never reused. Errors are reported the Windows way.

#include "platform/winsock_types.h"

#include <string>
#include <vector>

// Copies the entries in catalog order; lpiProtocols (0-terminated list) filters
// by protocol, null for all. Returns the number of records, or SOCKET_ERROR with
// WSAENOBUFS and the size needed in *lpdwBufferLength.
int WSCEnumProtocols(const int* lpiProtocols, WSAPROTOCOL_INFOW* lpProtocolBuffer,
                     DWORD* lpdwBufferLength, int* lpErrno);
// Appends the entries under one provider id with one library path. Each entry gets
// the next catalog id; a base entry's chain names its own id. WSANO_RECOVERY when
// the provider id is already installed or the catalog cannot be stored.
int WSCInstallProvider(const GUID* lpProviderId, const WCHAR* lpszProviderDllPath,
                       const WSAPROTOCOL_INFOW* lpProtocolInfoList, DWORD dwNumberOfEntries,
                       int* lpErrno);
// Removes every entry of the provider; WSAEINVAL when it has none.
int WSCDeinstallProvider(const GUID* lpProviderId, int* lpErrno);
// The library path as installed (variables unexpanded). WSAEINVAL for an unknown
// provider; WSAEFAULT when the buffer is too small (*lpProviderDllPathLen then
// holds the characters needed, terminator included).
int WSCGetProviderPath(const GUID* lpProviderId, WCHAR* lpszProviderDllPath,
                       int* lpProviderDllPathLen, int* lpErrno);
// Reorders the catalog. The ids must be exactly the catalog's ids, each once.
// Returns ERROR_SUCCESS or a Winsock error number (WSAEINVAL, WSANO_RECOVERY).
int WSCWriteProviderOrder(DWORD* lpwdCatalogEntryId, DWORD dwNumberOfEntries);

namespace platform {

// The library of the seeded base entries, found by the dynamic loader.
inline constexpr const char* kBaseProviderPath = "libmsafd.so";

struct CatalogItem {
    WSAPROTOCOL_INFOW info;
    std::string path; // the entry's library path, UTF-8, variables unexpanded
};

// One consistent copy of the whole catalog in catalog order, with each entry's path.
std::vector<CatalogItem> ReadCatalog();

} // namespace platform
