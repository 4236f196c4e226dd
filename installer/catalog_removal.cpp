// Removal of the installed entries, and the repair of other products' chains
// that referred to a removed entry.

#include "installer/catalog_installer.h"

#include "installer/catalog_snapshot.h"
#include "installer/chain_values.h"
#include "platform/catalog.h"

#include <algorithm>
#include <vector>

int CCatalogInstaller::uninstall() {
    int rc = removeProtocol("2");
    if (rc == 0) {
        rc = removeProtocol("3");
    }
    if (rc == 0) {
        rc = removeRecorded("1");
    }
    return rc;
}

// The chain recorded under valueName, then those recorded beside it.
int CCatalogInstaller::removeProtocol(const char* valueName) {
    int rc = removeRecorded(valueName);
    GUID id;
    for (int index = 1; rc == 0 && readGuid(qm::ExtraChainValue(valueName, index).c_str(), id);
         ++index) {
        rc = removeByProviderId(id);
    }
    return rc;
}

int CCatalogInstaller::removeRecorded(const char* valueName) {
    GUID id;
    readGuid(valueName, id); // an unreadable value leaves all zeros, which the catalog refuses
    return removeByProviderId(id);
}

int CCatalogInstaller::removeByProviderId(const GUID& providerId) {
    DWORD catalogId = catalogIdOf(providerId);
    if (reportsRemovalCodes() && catalogId == 0) {
        return REMOVE_NOT_FOUND;
    }
    int error = 0;
    if (WSCDeinstallProvider(&providerId, &error) != 0) {
        return reportsRemovalCodes() ? REMOVE_REFUSED : error;
    }
    while (repairChain(catalogId) == 0) {
    }
    return 0;
}

int CCatalogInstaller::repairChain(DWORD catalogId) {
    std::vector<WSAPROTOCOL_INFOW> records = qm::EnumerateCatalog();
    auto holds = [&](const WSAPROTOCOL_INFOW& info) {
        int length = std::min(info.ProtocolChain.ChainLen, MAX_PROTOCOL_CHAIN);
        const DWORD* chain = info.ProtocolChain.ChainEntries;
        return length > 1 && std::find(chain, chain + length, catalogId) != chain + length;
    };
    auto found = std::find_if(records.begin(), records.end(), holds);
    if (found == records.end()) {
        return REPAIR_NO_CHAIN;
    }
    WSAPROTOCOL_INFOW entry = *found;
    std::size_t oldPosition = std::size_t(found - records.begin());
    const DWORD* chain = entry.ProtocolChain.ChainEntries;
    std::vector<DWORD> kept;
    std::copy_if(chain, chain + entry.ProtocolChain.ChainLen, std::back_inserter(kept),
                 [&](DWORD id) { return id != catalogId; });
    entry.ProtocolChain = {};
    entry.ProtocolChain.ChainLen = int(kept.size());
    std::copy(kept.begin(), kept.end(), entry.ProtocolChain.ChainEntries);

    WCHAR path[260];
    int pathLength = 260;
    int error = 0;
    GUID top = kept.empty() ? GUID{} : providerIdOf(kept.front());
    if (WSCGetProviderPath(&top, path, &pathLength, &error) != 0) {
        return REPAIR_NO_PATH;
    }
    if (WSCDeinstallProvider(&entry.ProviderId, &error) != 0) {
        return REPAIR_REMOVE_FAILED;
    }
    if (WSCInstallProvider(&entry.ProviderId, path, &entry, 1, &error) != 0) {
        return REPAIR_REINSTALL_FAILED;
    }
    moveEntry(catalogIdOf(entry.ProviderId), oldPosition);
    return 0;
}
