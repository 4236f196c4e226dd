#pragma once
// A fresh catalog in a temporary registry folder, and helpers to shape it and
// read it back.

#include "common/wide.h"
#include "installer/catalog_installer.h"
#include "installer/catalog_snapshot.h"
#include "platform/catalog.h"
#include "platform/guid.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qmtest {

inline std::string Name(const WSAPROTOCOL_INFOW& info) {
    return qm::ProtocolName(info);
}

inline std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& info : qm::EnumerateCatalog()) {
        names.push_back(Name(info));
    }
    return names;
}

inline WSAPROTOCOL_INFOW EntryNamed(const std::string& name) {
    for (const auto& info : qm::EnumerateCatalog()) {
        if (Name(info) == name) {
            return info;
        }
    }
    ADD_FAILURE() << "no catalog entry named " << name;
    return WSAPROTOCOL_INFOW{};
}

inline std::vector<DWORD> ChainOf(const WSAPROTOCOL_INFOW& info) {
    const DWORD* chain = info.ProtocolChain.ChainEntries;
    return std::vector<DWORD>(chain, chain + std::clamp(info.ProtocolChain.ChainLen, 0, 7));
}

inline std::string PathOf(const GUID& id) {
    WCHAR path[260];
    int length = 260;
    int error = 0;
    if (WSCGetProviderPath(&id, path, &length, &error) != 0) {
        return "<none>";
    }
    return qm::NarrowFromWide(path);
}

inline WSAPROTOCOL_INFOW Record(const std::string& name, int chainLen,
                                int protocol = IPPROTO_TCP_W) {
    WSAPROTOCOL_INFOW info{};
    info.iAddressFamily = AF_INET_W;
    info.iSocketType = protocol == IPPROTO_UDP_W ? SOCK_DGRAM_W : SOCK_STREAM_W;
    info.iProtocol = protocol;
    info.dwServiceFlags1 = XP1_IFS_HANDLES | XP1_GUARANTEED_DELIVERY;
    info.ProtocolChain.ChainLen = chainLen;
    qm::CopyToWideField(qm::WideFromNarrow(name), info.szProtocol, WSAPROTOCOL_LEN + 1);
    return info;
}

// Installs one entry under a new provider id; returns its catalog id.
inline DWORD Add(WSAPROTOCOL_INFOW info, const char* path = "libvendor.so",
                 std::vector<DWORD> chain = {}, GUID* idOut = nullptr) {
    GUID id;
    EXPECT_EQ(CoCreateGuid(&id), S_OK);
    if (!chain.empty()) {
        info.ProtocolChain.ChainLen = int(chain.size());
        std::copy(chain.begin(), chain.end(), info.ProtocolChain.ChainEntries);
    }
    int error = 0;
    EXPECT_EQ(WSCInstallProvider(&id, qm::WideFromNarrow(path).c_str(), &info, 1, &error), 0);
    if (idOut) {
        *idOut = id;
    }
    return CCatalogInstaller::catalogIdOf(id);
}

// Replaces the seeded catalog by base providers of the given names and protocols.
inline void OnlyBases(const std::vector<std::pair<std::string, int>>& bases) {
    for (const auto& info : qm::EnumerateCatalog()) {
        int error = 0;
        WSCDeinstallProvider(&info.ProviderId, &error);
    }
    for (const auto& [name, protocol] : bases) {
        Add(Record(name, BASE_PROTOCOL, protocol), platform::kBaseProviderPath);
    }
}

inline bool HasValue(const char* name) {
    GUID guid;
    return CCatalogInstaller::readGuid(name, guid);
}

inline GUID Value(const char* name) {
    GUID guid;
    EXPECT_TRUE(CCatalogInstaller::readGuid(name, guid)) << name;
    return guid;
}

class CatalogTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv env{"QUELLMARK_REGISTRY_DIR", dir.path()};
};

} // namespace qmtest
