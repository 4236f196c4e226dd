#include "common/wide.h"
#include "platform/catalog.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr GUID kLayerId = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID kOtherId = {0x44444444, 0x5555, 0x6666, {8, 7, 6, 5, 4, 3, 2, 1}};

std::string NameOf(const WSAPROTOCOL_INFOW& info) {
    return qm::NarrowFromWide(qm::WideField(info.szProtocol, WSAPROTOCOL_LEN + 1));
}

WSAPROTOCOL_INFOW Record(const char* name, int chainLen) {
    WSAPROTOCOL_INFOW info{};
    info.iAddressFamily = AF_INET_W;
    info.iSocketType = SOCK_STREAM_W;
    info.iProtocol = IPPROTO_TCP_W;
    info.ProtocolChain.ChainLen = chainLen;
    qm::CopyToWideField(qm::WideFromNarrow(name), info.szProtocol, WSAPROTOCOL_LEN + 1);
    return info;
}

class Catalog : public ::testing::Test {
  protected:
    qmtest::TempDir dir;
    qmtest::ScopedEnv env{"QUELLMARK_REGISTRY_DIR", dir.path()};

    // Size first, then the records, as every caller does.
    static std::vector<WSAPROTOCOL_INFOW> Enumerate(const int* protocols = nullptr) {
        DWORD size = 0;
        int error = 0;
        EXPECT_EQ(WSCEnumProtocols(protocols, nullptr, &size, &error), SOCKET_ERROR);
        EXPECT_EQ(error, WSAENOBUFS);
        std::vector<WSAPROTOCOL_INFOW> records(size / sizeof(WSAPROTOCOL_INFOW));
        int count = WSCEnumProtocols(protocols, records.data(), &size, &error);
        EXPECT_EQ(count, int(records.size()));
        return records;
    }
    static std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& info : Enumerate()) {
            names.push_back(NameOf(info));
        }
        return names;
    }
    static void Install(const GUID& id, const char* path, const WSAPROTOCOL_INFOW& info) {
        int error = 0;
        ASSERT_EQ(WSCInstallProvider(&id, qm::WideFromNarrow(path).c_str(), &info, 1, &error), 0);
    }
};

TEST_F(Catalog, NewCatalogIsSeededWithBaseEntriesAndStoredInTheMachineHive) {
    auto records = Enumerate();
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(NameOf(records[0]), "MSAFD Tcpip [TCP/IP]");
    EXPECT_EQ(NameOf(records[1]), "MSAFD Tcpip [UDP/IP]");
    EXPECT_EQ(NameOf(records[2]), "MSAFD Tcpip [RAW/IP]");
    EXPECT_EQ(NameOf(records[3]), "MSAFD Tcpip [TCP/IPv6]");
    EXPECT_EQ(NameOf(records[4]), "MSAFD Tcpip [UDP/IPv6]");
    EXPECT_EQ(NameOf(records[5]), "RSVP TCP Service Provider");
    EXPECT_EQ(NameOf(records[6]), "RSVP UDP Service Provider");
    EXPECT_EQ(NameOf(records[7]).rfind("MSAFD NetBIOS [", 0), 0u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].dwCatalogEntryId, 1001 + i);
        EXPECT_EQ(records[i].ProtocolChain.ChainLen, BASE_PROTOCOL);
        EXPECT_EQ(records[i].ProtocolChain.ChainEntries[0], records[i].dwCatalogEntryId);
    }
    EXPECT_EQ(records[0].iProtocol, IPPROTO_TCP_W);
    EXPECT_TRUE(records[0].dwServiceFlags1 & XP1_IFS_HANDLES);
    EXPECT_EQ(records[4].iAddressFamily, AF_INET6_W);
    EXPECT_EQ(records[4].iProtocol, IPPROTO_UDP_W);
    EXPECT_NE(records[7].iProtocol, IPPROTO_TCP_W);
    EXPECT_NE(records[7].iProtocol, IPPROTO_UDP_W);

    std::ifstream in(dir / "HKEY_LOCAL_MACHINE.reg");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Protocol_Catalog9\\Catalog_Entries\\000000000008]"),
              std::string::npos);
    EXPECT_NE(text.str().find("\"PackedCatalogItem\"=hex:"), std::string::npos);
}

TEST_F(Catalog, EnumerationWantsTheSizeFirstAndFiltersByProtocol) {
    DWORD size = 0;
    int error = 0;
    EXPECT_EQ(WSCEnumProtocols(nullptr, nullptr, &size, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAENOBUFS);
    EXPECT_EQ(size, 8 * sizeof(WSAPROTOCOL_INFOW));
    std::vector<WSAPROTOCOL_INFOW> buffer(8);
    DWORD small = 7 * sizeof(WSAPROTOCOL_INFOW);
    error = 0;
    EXPECT_EQ(WSCEnumProtocols(nullptr, buffer.data(), &small, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAENOBUFS);
    EXPECT_EQ(small, size);
    EXPECT_EQ(WSCEnumProtocols(nullptr, buffer.data(), &size, &error), 8);
    EXPECT_EQ(WSCEnumProtocols(nullptr, buffer.data(), nullptr, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEFAULT);

    const int udp[] = {IPPROTO_UDP_W, 0};
    std::set<std::string> names;
    for (const auto& info : Enumerate(udp)) {
        names.insert(NameOf(info));
    }
    // The raw entry covers every protocol number up to 255.
    EXPECT_EQ(names,
              (std::set<std::string>{"MSAFD Tcpip [UDP/IP]", "MSAFD Tcpip [RAW/IP]",
                                     "MSAFD Tcpip [UDP/IPv6]", "RSVP UDP Service Provider"}));
}

TEST_F(Catalog, InstallAppendsWithNewIdsAndRemovalNeverFreesAnId) {
    Enumerate();
    Install(kLayerId, "libZUL.so", Record("Layer", LAYERED_PROTOCOL));
    auto records = Enumerate();
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(NameOf(records.back()), "Layer");
    EXPECT_EQ(records.back().dwCatalogEntryId, 1009u);
    EXPECT_EQ(records.back().ProviderId, kLayerId);

    int error = 0;
    auto again = Record("Again", LAYERED_PROTOCOL);
    EXPECT_EQ(WSCInstallProvider(&kLayerId, u"libZUL.so", &again, 1, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSANO_RECOVERY);

    ASSERT_EQ(WSCDeinstallProvider(&kLayerId, &error), 0);
    EXPECT_EQ(Enumerate().size(), 8u);
    EXPECT_EQ(WSCDeinstallProvider(&kLayerId, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);

    WSAPROTOCOL_INFOW two[2] = {Record("Base A", BASE_PROTOCOL), Record("Base B", BASE_PROTOCOL)};
    ASSERT_EQ(WSCInstallProvider(&kOtherId, u"libother.so", two, 2, &error), 0);
    records = Enumerate();
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records[8].dwCatalogEntryId, 1010u);
    EXPECT_EQ(records[9].dwCatalogEntryId, 1011u);
    EXPECT_EQ(records[9].ProtocolChain.ChainEntries[0], 1011u);
    // One removal takes every entry of the provider.
    ASSERT_EQ(WSCDeinstallProvider(&kOtherId, &error), 0);
    EXPECT_EQ(Enumerate().size(), 8u);
}

TEST_F(Catalog, InstallRefusesBadArguments) {
    int error = 0;
    auto info = Record("Chain", 8);
    EXPECT_EQ(WSCInstallProvider(&kLayerId, u"libZUL.so", &info, 1, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);
    info = Record("Chain", 2);
    EXPECT_EQ(WSCInstallProvider(&kLayerId, u"libZUL.so", &info, 0, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);
    EXPECT_EQ(WSCInstallProvider(&kLayerId, u"", &info, 1, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);
    std::u16string longPath(260, u'a');
    EXPECT_EQ(WSCInstallProvider(&kLayerId, longPath.c_str(), &info, 1, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);
    EXPECT_EQ(WSCInstallProvider(nullptr, u"libZUL.so", &info, 1, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEFAULT);
    EXPECT_EQ(Enumerate().size(), 8u);
}

TEST_F(Catalog, ProviderPathsArePerProviderAndPerEntry) {
    Install(kLayerId, "$QM_LIB/libZUL.so", Record("Layer", LAYERED_PROTOCOL));
    WCHAR path[260];
    int length = 260;
    int error = 0;
    ASSERT_EQ(WSCGetProviderPath(&kLayerId, path, &length, &error), 0);
    EXPECT_EQ(std::u16string(path), u"$QM_LIB/libZUL.so");
    auto base = Enumerate()[0].ProviderId;
    ASSERT_EQ(WSCGetProviderPath(&base, path, &length, &error), 0);
    EXPECT_EQ(qm::NarrowFromWide(path), platform::kBaseProviderPath);

    int tiny = 5;
    EXPECT_EQ(WSCGetProviderPath(&kLayerId, path, &tiny, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEFAULT);
    EXPECT_EQ(tiny, 18);
    EXPECT_EQ(WSCGetProviderPath(&kOtherId, path, &length, &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINVAL);

    auto items = platform::ReadCatalog();
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items.back().path, "$QM_LIB/libZUL.so");
    EXPECT_EQ(items.back().info.dwCatalogEntryId, 1009u);
    EXPECT_EQ(items.front().path, platform::kBaseProviderPath);
}

TEST_F(Catalog, WriteProviderOrderTakesExactlyTheCatalogIds) {
    auto records = Enumerate();
    std::vector<DWORD> ids;
    for (const auto& info : records) {
        ids.push_back(info.dwCatalogEntryId);
    }
    std::vector<DWORD> reversed(ids.rbegin(), ids.rend());
    ASSERT_EQ(WSCWriteProviderOrder(reversed.data(), DWORD(reversed.size())), ERROR_SUCCESS);
    auto after = Enumerate();
    ASSERT_EQ(after.size(), ids.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].dwCatalogEntryId, reversed[i]);
    }
    EXPECT_EQ(NameOf(after[7]), "MSAFD Tcpip [TCP/IP]");

    EXPECT_EQ(WSCWriteProviderOrder(ids.data(), DWORD(ids.size() - 1)), WSAEINVAL);
    std::vector<DWORD> twice = ids;
    twice[1] = twice[0];
    EXPECT_EQ(WSCWriteProviderOrder(twice.data(), DWORD(twice.size())), WSAEINVAL);
    std::vector<DWORD> unknown = ids;
    unknown[3] = 999;
    EXPECT_EQ(WSCWriteProviderOrder(unknown.data(), DWORD(unknown.size())), WSAEINVAL);
    EXPECT_EQ(Enumerate()[0].dwCatalogEntryId, reversed[0]); // refused orders change nothing
}

TEST_F(Catalog, ConcurrentInstallersInTwoProcessesLoseNothing) {
    Enumerate();
    constexpr int kEach = 15;
    pid_t child = ::fork();
    if (child == 0) {
        for (int i = 0; i < kEach; ++i) {
            GUID id{0xC0000000u + DWORD(i), 1, 1, {}};
            auto info = Record("child", LAYERED_PROTOCOL);
            int error = 0;
            if (WSCInstallProvider(&id, u"libchild.so", &info, 1, &error) != 0) {
                ::_exit(1);
            }
        }
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    for (int i = 0; i < kEach; ++i) {
        GUID id{0xD0000000u + DWORD(i), 2, 2, {}};
        Install(id, "libparent.so", Record("parent", LAYERED_PROTOCOL));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto records = Enumerate();
    ASSERT_EQ(records.size(), 8u + 2 * kEach);
    std::set<DWORD> ids;
    for (const auto& info : records) {
        ids.insert(info.dwCatalogEntryId);
    }
    EXPECT_EQ(ids.size(), records.size());
    EXPECT_EQ(*ids.rbegin(), 1008u + 2 * kEach);
}

} // namespace
