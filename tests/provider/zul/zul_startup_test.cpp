// The provider's start-up and clean-up inside a process.

#include "tests/provider/zul/zul_fixture.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace {

using qmtest::ZulTest;

TEST_F(ZulTest, SecondStartupCountsAndCleanupsTearDownOnlyAtZero) {
    LPWSPSTARTUP startup = ProviderStartup();
    ASSERT_NE(startup, nullptr);
    WSAPROTOCOL_INFOW chain = FirstChain();
    WSPDATA first{};
    WSPDATA second{};
    WSPPROC_TABLE firstTable{};
    WSPPROC_TABLE secondTable{};
    ASSERT_EQ(startup(MAKEWORD_W(2, 2), &first, &chain, *qm_sockhost_upcalls(), &firstTable), 0);
    EXPECT_TRUE(Logged("Layered over 4 protocols"));
    EXPECT_TRUE(Logged("LoadLibrary on: libmsafd.so"));
    EXPECT_TRUE(Logged("WSPStartup->Number of times loaded: 1"));
    int loads = qmtest::CountInLog(installDir, "LoadLibrary on:");
    ASSERT_EQ(startup(MAKEWORD_W(2, 2), &second, &chain, *qm_sockhost_upcalls(), &secondTable), 0);
    EXPECT_TRUE(Logged("WSPStartup->Number of times loaded: 2"));
    EXPECT_EQ(qmtest::CountInLog(installDir, "LoadLibrary on:"), loads);
    EXPECT_EQ(std::memcmp(&firstTable, &secondTable, sizeof firstTable), 0);
    EXPECT_EQ(second.wVersion, MAKEWORD_W(2, 2));
    EXPECT_EQ(second.wHighVersion, MAKEWORD_W(2, 2));

    int error = 0;
    EXPECT_EQ(secondTable.lpWSPCleanup(&error), 0);
    EXPECT_TRUE(Logged("WSPCleanup: 1"));
    EXPECT_FALSE(Logged("WSPCleanup: gEntryCount == 0; cleaning up"));
    EXPECT_EQ(secondTable.lpWSPCleanup(&error), 0);
    EXPECT_TRUE(Logged("WSPCleanup: gEntryCount == 0; cleaning up"));
    EXPECT_EQ(secondTable.lpWSPCleanup(&error), SOCKET_ERROR);
    EXPECT_EQ(error, WSANOTINITIALISED);
    EXPECT_TRUE(Logged("WSPCleanup returning WSAENOTINITIALISED"));
}

TEST_F(ZulTest, CleanupWithoutStartFails) {
    LPWSPSTARTUP startup = ProviderStartup();
    ASSERT_NE(startup, nullptr);
    WSAPROTOCOL_INFOW chain = FirstChain();
    WSPDATA data{};
    WSPPROC_TABLE table{};
    ASSERT_EQ(startup(MAKEWORD_W(2, 2), &data, &chain, *qm_sockhost_upcalls(), &table), 0);
    int error = 0;
    ASSERT_EQ(table.lpWSPCleanup(&error), 0);
    EXPECT_EQ(table.lpWSPCleanup(&error), SOCKET_ERROR);
    EXPECT_EQ(error, WSANOTINITIALISED);
}

TEST_F(ZulTest, WithoutItsGuidEverySocketCreationFails) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellmark\\GUID", 0, KEY_ALL_ACCESS, &key),
        ERROR_SUCCESS);
    RegDeleteValueA(key, "1");
    RegCloseKey(key);
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    EXPECT_EQ(s, INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_TRUE(Logged("Layered over 0 protocols"));
    EXPECT_TRUE(Logged("Failed to query registry value [RetrieveGUID] Error = "));
}

// A base provider installed under a path with an environment variable: the
// provider loads it from the expanded path.
TEST_F(ZulTest, LowerLibraryPathIsExpanded) {
    qmtest::ScopedEnv libdir("QM_TEST_LIBDIR", QM_BIN_DIR);
    std::vector<WSAPROTOCOL_INFOW> entries = qmtest::CatalogEntries();
    WSAPROTOCOL_INFOW base = *qmtest::FindBase(entries, AF_INET_W, SOCK_STREAM_W);
    GUID id{0x5a1e0003, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    base.ProviderId = id;
    int error = 0;
    ASSERT_EQ(WSCInstallProvider(&id, u"${QM_TEST_LIBDIR}/libmsafd.so", &base, 1, &error), 0);
    DWORD baseId = qmtest::CatalogEntries().back().dwCatalogEntryId;
    // A second layering in a fresh catalog view: only over the new base.
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellmark\\GUID", 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, "1");
    RegCloseKey(key);
    WSCDeinstallProvider(&qmtest::kChainGuid, &error);
    WSCDeinstallProvider(&qmtest::kLayerGuid, &error);
    ASSERT_TRUE(qmtest::InstallLayer({baseId}));
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    EXPECT_TRUE(Logged(std::string("LoadLibrary on: ") + QM_BIN_DIR + "/libmsafd.so"));
    closesocket(s);
}

class ZulLevelTwo : public qmtest::ZulTest {
  protected:
    ZulLevelTwo() : ZulTest(2) {}
};

TEST_F(ZulLevelTwo, BufferContentsAreNotWritten) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_DGRAM_W, 0, nullptr, 0, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char text[] = "level three text";
    WSABUF buffer{sizeof text - 1, text};
    DWORD sent = 0;
    ASSERT_EQ(WSASendTo(s, &buffer, 1, &sent, 0, reinterpret_cast<sockaddr*>(&to), sizeof to,
                        nullptr, nullptr),
              0);
    ::connect(int(s), reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_EQ(WSASend(s, &buffer, 1, &sent, 0, nullptr, nullptr), 0);
    EXPECT_TRUE(Logged("WSPStartup->Number of times loaded: 1"));
    EXPECT_FALSE(Logged("WSPSend()->lpBuffers"));
    EXPECT_FALSE(Logged("level three text"));
    closesocket(s);
}

} // namespace
