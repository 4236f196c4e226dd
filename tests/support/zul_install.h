#pragma once
// Puts the provider into a test's catalog the way an installation does: one
// hidden layered entry whose GUID is recorded as value "1" of
// "SOFTWARE\Quellmark\GUID", and one chain (layer, base) over each chosen base
// entry, ordered before everything else. Also writes Dir and DebugLevel.

#include "common/wide.h"
#include "platform/catalog.h"
#include "platform/registry.h"

#include <string>
#include <vector>

namespace qmtest {

inline constexpr GUID kLayerGuid = {0x5a1e0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr GUID kChainGuid = {0x5a1e0002, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

inline std::vector<WSAPROTOCOL_INFOW> CatalogEntries() {
    DWORD size = 0;
    int error = 0;
    WSCEnumProtocols(nullptr, nullptr, &size, &error);
    std::vector<WSAPROTOCOL_INFOW> entries(size / sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, entries.data(), &size, &error);
    entries.resize(count > 0 ? std::size_t(count) : 0);
    return entries;
}

inline const WSAPROTOCOL_INFOW* FindBase(const std::vector<WSAPROTOCOL_INFOW>& entries, int af,
                                         int type) {
    for (const WSAPROTOCOL_INFOW& entry : entries) {
        if (entry.ProtocolChain.ChainLen == BASE_PROTOCOL && entry.iAddressFamily == af &&
            entry.iSocketType == type) {
            return &entry;
        }
    }
    return nullptr;
}

inline bool SetRegistryValue(HKEY root, const char* key, const char* name, DWORD type,
                             const void* data, DWORD size) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool ok = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size) ==
              ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

inline void WriteProviderSettings(const std::string& dir, DWORD debugLevel) {
    SetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellmark\\Settings", "Dir", REG_SZ,
                     dir.c_str(), DWORD(dir.size() + 1));
    SetRegistryValue(HKEY_CURRENT_USER, "SOFTWARE\\Quellmark\\Settings", "DebugLevel", REG_DWORD,
                     &debugLevel, sizeof debugLevel);
}

// Layers the provider over the given base entries (catalog ids); true on success.
inline bool InstallLayer(const std::vector<DWORD>& baseIds,
                         const std::u16string& library = u"libZUL.so") {
    std::vector<WSAPROTOCOL_INFOW> entries = CatalogEntries();
    if (entries.empty() || baseIds.empty()) {
        return false;
    }
    std::vector<const WSAPROTOCOL_INFOW*> bases;
    for (DWORD id : baseIds) {
        for (const WSAPROTOCOL_INFOW& entry : entries) {
            if (entry.dwCatalogEntryId == id) {
                bases.push_back(&entry);
            }
        }
    }
    WSAPROTOCOL_INFOW layer = *bases[0];
    layer.ProviderId = kLayerGuid;
    layer.ProtocolChain.ChainLen = LAYERED_PROTOCOL;
    layer.dwProviderFlags |= PFL_HIDDEN;
    qm::CopyToWideField(u"Quellmark Layer", layer.szProtocol, WSAPROTOCOL_LEN + 1);
    int error = 0;
    if (WSCInstallProvider(&kLayerGuid, library.c_str(), &layer, 1, &error) != 0) {
        return false;
    }
    DWORD layerId = CatalogEntries().back().dwCatalogEntryId;
    std::vector<WSAPROTOCOL_INFOW> chains;
    for (const WSAPROTOCOL_INFOW* base : bases) {
        WSAPROTOCOL_INFOW chain = *base;
        chain.ProviderId = kChainGuid;
        chain.ProtocolChain.ChainLen = 2;
        chain.ProtocolChain.ChainEntries[0] = layerId;
        chain.ProtocolChain.ChainEntries[1] = base->dwCatalogEntryId;
        std::u16string name = u"Quellmark over " +
                              std::u16string(qm::WideField(base->szProtocol, WSAPROTOCOL_LEN + 1));
        qm::CopyToWideField(name, chain.szProtocol, WSAPROTOCOL_LEN + 1);
        chains.push_back(chain);
    }
    if (WSCInstallProvider(&kChainGuid, library.c_str(), chains.data(), DWORD(chains.size()),
                           &error) != 0) {
        return false;
    }
    std::vector<WSAPROTOCOL_INFOW> now = CatalogEntries();
    std::vector<DWORD> order;
    for (const WSAPROTOCOL_INFOW& entry : now) {
        if (entry.ProviderId == kChainGuid) {
            order.push_back(entry.dwCatalogEntryId);
        }
    }
    for (const WSAPROTOCOL_INFOW& entry : now) {
        if (!(entry.ProviderId == kChainGuid)) {
            order.push_back(entry.dwCatalogEntryId);
        }
    }
    return WSCWriteProviderOrder(order.data(), DWORD(order.size())) == 0 &&
           SetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellmark\\GUID", "1", REG_BINARY,
                            &kLayerGuid, sizeof kLayerGuid);
}

// Layers the provider over the IPv4 and IPv6 TCP and UDP base entries.
inline bool InstallLayerOverInternet(const std::u16string& library = u"libZUL.so") {
    std::vector<WSAPROTOCOL_INFOW> entries = CatalogEntries();
    std::vector<DWORD> ids;
    for (auto [af, type] :
         {std::pair{AF_INET_W, SOCK_STREAM_W}, std::pair{AF_INET_W, SOCK_DGRAM_W},
          std::pair{AF_INET6_W, SOCK_STREAM_W}, std::pair{AF_INET6_W, SOCK_DGRAM_W}}) {
        if (const WSAPROTOCOL_INFOW* base = FindBase(entries, af, type)) {
            ids.push_back(base->dwCatalogEntryId);
        }
    }
    return InstallLayer(ids, library);
}

} // namespace qmtest
