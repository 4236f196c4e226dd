#include "platform/catalog.h"

#include "common/wide.h"
#include "platform/catalog_store.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace {

int Fail(int* lpErrno, int error) {
    if (lpErrno) {
        *lpErrno = error;
    }
    return SOCKET_ERROR;
}

// True when protocols (0-terminated) names the entry's protocol or its range.
bool MatchesProtocol(const WSAPROTOCOL_INFOW& info, const int* protocols) {
    for (; *protocols != 0; ++protocols) {
        long long wanted = *protocols;
        if (wanted >= info.iProtocol &&
            wanted <= (long long)info.iProtocol + info.iProtocolMaxOffset) {
            return true;
        }
    }
    return false;
}

bool HasProvider(const Catalog& catalog, const GUID& id) {
    return std::any_of(catalog.items.begin(), catalog.items.end(),
                       [&](const CatalogItem& item) { return item.info.ProviderId == id; });
}

} // namespace

int WSCEnumProtocols(const int* lpiProtocols, WSAPROTOCOL_INFOW* lpProtocolBuffer,
                     DWORD* lpdwBufferLength, int* lpErrno) {
    if (!lpdwBufferLength || !lpErrno) {
        return Fail(lpErrno, WSAEFAULT);
    }
    std::vector<WSAPROTOCOL_INFOW> found;
    for (const CatalogItem& item : LoadCatalog().items) {
        if (!lpiProtocols || MatchesProtocol(item.info, lpiProtocols)) {
            found.push_back(item.info);
        }
    }
    DWORD needed = DWORD(found.size() * sizeof(WSAPROTOCOL_INFOW));
    if (needed > *lpdwBufferLength || (!lpProtocolBuffer && needed > 0)) {
        *lpdwBufferLength = needed;
        return Fail(lpErrno, WSAENOBUFS);
    }
    if (needed > 0) {
        std::memcpy(lpProtocolBuffer, found.data(), needed);
    }
    return int(found.size());
}

int WSCInstallProvider(const GUID* lpProviderId, const WCHAR* lpszProviderDllPath,
                       const WSAPROTOCOL_INFOW* lpProtocolInfoList, DWORD dwNumberOfEntries,
                       int* lpErrno) {
    if (!lpProviderId || !lpszProviderDllPath || !lpProtocolInfoList || !lpErrno) {
        return Fail(lpErrno, WSAEFAULT);
    }
    std::string path = qm::NarrowFromWide(lpszProviderDllPath);
    if (dwNumberOfEntries == 0 || path.empty() || path.size() >= kPackedPathBytes) {
        return Fail(lpErrno, WSAEINVAL);
    }
    for (DWORD i = 0; i < dwNumberOfEntries; ++i) {
        int length = lpProtocolInfoList[i].ProtocolChain.ChainLen;
        if (length < 0 || length > MAX_PROTOCOL_CHAIN) {
            return Fail(lpErrno, WSAEINVAL);
        }
    }
    int error = ModifyCatalog([&](Catalog& catalog) {
        if (HasProvider(catalog, *lpProviderId)) {
            return WSANO_RECOVERY;
        }
        for (DWORD i = 0; i < dwNumberOfEntries; ++i) {
            CatalogItem item{lpProtocolInfoList[i], path};
            item.info.ProviderId = *lpProviderId;
            item.info.dwCatalogEntryId = catalog.nextId++;
            if (item.info.ProtocolChain.ChainLen == BASE_PROTOCOL) {
                item.info.ProtocolChain.ChainEntries[0] = item.info.dwCatalogEntryId;
            }
            item.info.szProtocol[WSAPROTOCOL_LEN] = u'\0';
            catalog.items.push_back(item);
        }
        return 0;
    });
    return error ? Fail(lpErrno, error) : 0;
}

int WSCDeinstallProvider(const GUID* lpProviderId, int* lpErrno) {
    if (!lpProviderId || !lpErrno) {
        return Fail(lpErrno, WSAEFAULT);
    }
    int error = ModifyCatalog([&](Catalog& catalog) {
        auto removed = std::erase_if(catalog.items, [&](const CatalogItem& item) {
            return item.info.ProviderId == *lpProviderId;
        });
        return removed > 0 ? 0 : WSAEINVAL;
    });
    return error ? Fail(lpErrno, error) : 0;
}

int WSCGetProviderPath(const GUID* lpProviderId, WCHAR* lpszProviderDllPath,
                       int* lpProviderDllPathLen, int* lpErrno) {
    if (!lpProviderId || !lpszProviderDllPath || !lpProviderDllPathLen || !lpErrno) {
        return Fail(lpErrno, WSAEFAULT);
    }
    std::vector<CatalogItem> items = LoadCatalog().items;
    auto it = std::find_if(items.begin(), items.end(), [&](const CatalogItem& item) {
        return item.info.ProviderId == *lpProviderId;
    });
    if (it == items.end()) {
        return Fail(lpErrno, WSAEINVAL);
    }
    std::u16string path = qm::WideFromNarrow(it->path);
    int needed = int(path.size()) + 1;
    if (*lpProviderDllPathLen < needed) {
        *lpProviderDllPathLen = needed;
        return Fail(lpErrno, WSAEFAULT);
    }
    qm::CopyToWideField(path, lpszProviderDllPath, std::size_t(needed));
    return 0;
}

int WSCWriteProviderOrder(DWORD* lpwdCatalogEntryId, DWORD dwNumberOfEntries) {
    if (!lpwdCatalogEntryId) {
        return WSAEFAULT;
    }
    return ModifyCatalog([&](Catalog& catalog) {
        if (dwNumberOfEntries != catalog.items.size()) {
            return WSAEINVAL;
        }
        std::vector<CatalogItem> ordered;
        for (DWORD i = 0; i < dwNumberOfEntries; ++i) {
            auto it = std::find_if(catalog.items.begin(), catalog.items.end(),
                                   [&](const CatalogItem& item) {
                                       return item.info.dwCatalogEntryId == lpwdCatalogEntryId[i];
                                   });
            if (it == catalog.items.end() || it->info.dwCatalogEntryId == 0) {
                return WSAEINVAL; // unknown id, or named twice
            }
            ordered.push_back(*it);
            it->info.dwCatalogEntryId = 0;
        }
        catalog.items = std::move(ordered);
        return 0;
    });
}

namespace platform {

std::vector<CatalogItem> ReadCatalog() {
    return LoadCatalog().items;
}

} // namespace platform
