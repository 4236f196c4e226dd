#include "installer/catalog_installer.h"

#include "common/wide.h"
#include "installer/catalog_snapshot.h"
#include "installer/chain_values.h"
#include "platform/catalog.h"
#include "platform/guid.h"

#include <algorithm>
#include <vector>

namespace {

// The provider library, by bare file name: the dynamic loader finds it.
constexpr const char16_t* kProviderPath = u"libZUL.so";
constexpr const char16_t* kLayerName = u"Quellmark";
constexpr const char16_t* kChainPrefix = u"Quellmark over ";

bool Qualifies(const WSAPROTOCOL_INFOW& info, int protocol) {
    if (info.ProtocolChain.ChainLen != BASE_PROTOCOL || info.iProtocol != protocol) {
        return false;
    }
    std::string name = qm::ProtocolName(info);
    return name.find("MS") != std::string::npos && name.find("rsvp") == std::string::npos;
}

// Other products' chains that already end on one of the qualifying base providers.
std::vector<DWORD> ChainsEndingOn(const std::vector<WSAPROTOCOL_INFOW>& records,
                                  const std::vector<DWORD>& bases) {
    std::vector<DWORD> ids;
    for (const auto& info : records) {
        int length = info.ProtocolChain.ChainLen;
        if (length > 1 && length <= MAX_PROTOCOL_CHAIN &&
            std::count(bases.begin(), bases.end(), info.ProtocolChain.ChainEntries[length - 1])) {
            ids.push_back(info.dwCatalogEntryId);
        }
    }
    return ids;
}

WSAPROTOCOL_INFOW LayeredEntry() {
    WSAPROTOCOL_INFOW info{};
    info.dwProviderFlags = PFL_HIDDEN;
    info.ProtocolChain.ChainLen = LAYERED_PROTOCOL;
    info.iAddressFamily = AF_INET_W;
    info.iMaxSockAddr = 16;
    info.iMinSockAddr = 16;
    info.iSocketType = SOCK_STREAM_W;
    info.iProtocol = IPPROTO_TCP_W;
    qm::CopyToWideField(kLayerName, info.szProtocol, WSAPROTOCOL_LEN + 1);
    return info;
}

// The chain entry over base: the layer, the other chains, the base. False when
// that is more than a chain can hold.
bool ChainEntry(const WSAPROTOCOL_INFOW& base, DWORD layer, const std::vector<DWORD>& others,
                const GUID& id, WSAPROTOCOL_INFOW& entry) {
    std::vector<DWORD> chain{layer};
    chain.insert(chain.end(), others.begin(), others.end());
    chain.push_back(base.dwCatalogEntryId);
    if (chain.size() > std::size_t(MAX_PROTOCOL_CHAIN)) {
        return false;
    }
    entry = base;
    entry.dwServiceFlags1 &= ~XP1_IFS_HANDLES;
    entry.ProviderId = id;
    std::u16string name = kChainPrefix;
    name += qm::WideField(base.szProtocol, WSAPROTOCOL_LEN + 1);
    qm::CopyToWideField(name, entry.szProtocol, WSAPROTOCOL_LEN + 1);
    entry.ProtocolChain = {};
    entry.ProtocolChain.ChainLen = int(chain.size());
    std::copy(chain.begin(), chain.end(), entry.ProtocolChain.ChainEntries);
    return true;
}

} // namespace

int CCatalogInstaller::install() {
    switch (scanCatalog()) {
    case 1:
        return INSTALL_ALREADY_INSTALLED;
    case 2:
        return INSTALL_INCOMPATIBLE;
    default:
        break;
    }
    std::size_t next = 0;
    int rc = installLayeredEntry();
    if (rc == 0) {
        rc = installChains(IPPROTO_TCP_W, "2");
    }
    if (rc == 0) {
        rc = moveRecorded("2", 0, next);
    }
    if (rc == 0) {
        rc = installChains(IPPROTO_UDP_W, "3");
    }
    if (rc == 0) {
        rc = moveRecorded("3", next, next);
    }
    return rc;
}

int CCatalogInstaller::installLayeredEntry() {
    GUID id;
    if (CoCreateGuid(&id) != S_OK) {
        return INSTALL_NO_GUID;
    }
    WSAPROTOCOL_INFOW entry = LayeredEntry();
    entry.ProviderId = id;
    int error = 0;
    if (WSCInstallProvider(&id, kProviderPath, &entry, 1, &error) != 0) {
        return INSTALL_LAYER_REFUSED;
    }
    return writeGuid("1", id);
}

int CCatalogInstaller::installChains(int protocol, const char* valueName) {
    GUID layerId;
    readGuid("1", layerId);
    DWORD layer = catalogIdOf(layerId);
    if (layer == 0) {
        return INSTALL_LAYER_MISSING;
    }
    qm::ForgetExtraChains(valueName);
    std::vector<WSAPROTOCOL_INFOW> records = qm::EnumerateCatalog();
    std::vector<DWORD> bases;
    for (const auto& info : records) {
        if (Qualifies(info, protocol)) {
            bases.push_back(info.dwCatalogEntryId);
        }
    }
    std::vector<DWORD> others = ChainsEndingOn(records, bases);
    int index = 0;
    GUID previous{};
    for (const auto& base : records) {
        if (!Qualifies(base, protocol)) {
            continue;
        }
        GUID id;
        if (CoCreateGuid(&id) != S_OK) {
            return INSTALL_NO_GUID;
        }
        int rc = writeGuid(valueName, id);
        if (rc == 0 && index > 0) {
            rc = writeGuid(qm::ExtraChainValue(valueName, index).c_str(), previous);
        }
        if (rc != 0) {
            return rc;
        }
        WSAPROTOCOL_INFOW entry;
        int error = 0;
        if (!ChainEntry(base, layer, others, id, entry) ||
            WSCInstallProvider(&id, kProviderPath, &entry, 1, &error) != 0) {
            return INSTALL_CHAIN_REFUSED;
        }
        previous = id;
        ++index;
    }
    return 0;
}

int CCatalogInstaller::moveEntry(DWORD catalogId, std::size_t position) {
    std::vector<WSAPROTOCOL_INFOW> records = qm::EnumerateCatalog();
    std::vector<DWORD> ids;
    for (const auto& info : records) {
        ids.push_back(info.dwCatalogEntryId);
    }
    auto at = std::find(ids.begin(), ids.end(), catalogId);
    if (catalogId == 0 || at == ids.end()) {
        return INSTALL_ORDER_FAILED; // nothing to move: no order is written
    }
    ids.erase(at);
    ids.insert(ids.begin() + std::ptrdiff_t(std::min(position, ids.size())), catalogId);
    if (WSCWriteProviderOrder(ids.data(), DWORD(records.size())) != ERROR_SUCCESS) {
        return INSTALL_ORDER_FAILED;
    }
    return 0;
}

// Moves the chain recorded under valueName to position and the chains recorded
// beside it ("N.1", ...) right after it; next is the position after the last.
int CCatalogInstaller::moveRecorded(const char* valueName, std::size_t position,
                                    std::size_t& next) {
    GUID id;
    readGuid(valueName, id);
    int rc = moveEntry(catalogIdOf(id), position);
    int index = 1;
    while (rc == 0 && readGuid(qm::ExtraChainValue(valueName, index).c_str(), id)) {
        rc = moveEntry(catalogIdOf(id), position + std::size_t(index));
        ++index;
    }
    next = position + std::size_t(index);
    return rc;
}

DWORD CCatalogInstaller::catalogIdOf(const GUID& providerId) {
    DWORD found = 0;
    for (const auto& info : qm::EnumerateCatalog()) {
        if (info.ProviderId == providerId) {
            found = info.dwCatalogEntryId;
        }
    }
    return found;
}

GUID CCatalogInstaller::providerIdOf(DWORD catalogId) {
    for (const auto& info : qm::EnumerateCatalog()) {
        if (info.dwCatalogEntryId == catalogId) {
            return info.ProviderId;
        }
    }
    return GUID{};
}
