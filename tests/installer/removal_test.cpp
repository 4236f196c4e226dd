#include "installer/kovdiag/diag_installer.h"
#include "installer/kovinst/setup_installer.h"
#include "tests/installer/catalog_fixture.h"

namespace {

using namespace qmtest;

class Removal : public CatalogTest {
  protected:
    CSetupInstaller installer;
};

TEST_F(Removal, UninstallTakesOutEveryEntryAndLeavesTheValues) {
    auto seeded = Names();
    ASSERT_EQ(installer.install(), 0);
    ASSERT_EQ(installer.uninstall(), 0);
    EXPECT_EQ(Names(), seeded);
    for (const char* value : {"1", "2", "3", "2.1", "3.1"}) {
        EXPECT_TRUE(HasValue(value)) << value;
    }
    // The next install overwrites them.
    GUID old = Value("1");
    ASSERT_EQ(installer.install(), 0);
    EXPECT_NE(Value("1"), old);
}

TEST_F(Removal, ARecordedEntryMissingFromTheCatalogGivesTheWinsockError) {
    ASSERT_EQ(installer.install(), 0);
    GUID tcpChain = Value("2");
    int error = 0;
    ASSERT_EQ(WSCDeinstallProvider(&tcpChain, &error), 0);
    EXPECT_EQ(installer.uninstall(), WSAEINVAL);
    EXPECT_EQ(CCatalogInstaller::catalogIdOf(Value("3")) != 0, true); // the sequence stopped
}

TEST_F(Removal, AnUnreadableValueMakesTheRemovalFail) {
    EXPECT_EQ(installer.uninstall(), WSAEINVAL); // nothing was ever recorded
    EXPECT_EQ(Names().size(), 8u);
}

TEST_F(Removal, AProductLayeredOverOursIsRepairedUnderItsGuidAtItsPosition) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W}, {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    DWORD tcp = EntryNamed("MSAFD Tcpip [TCP/IP]").dwCatalogEntryId;
    ASSERT_EQ(installer.install(), 0);
    DWORD ours = CCatalogInstaller::catalogIdOf(Value("1"));
    GUID vendorId;
    DWORD vendorLayer = Add(Record("Vendor Layer", LAYERED_PROTOCOL), "libvendor.so");
    DWORD vendorChain =
        Add(Record("Vendor over Quellmark", 3), "libother.so", {vendorLayer, ours, tcp}, &vendorId);
    ASSERT_EQ(installer.moveEntry(vendorChain, 1), 0);

    ASSERT_EQ(installer.uninstall(), 0);
    auto names = Names();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], "Vendor over Quellmark");
    WSAPROTOCOL_INFOW repaired = EntryNamed("Vendor over Quellmark");
    EXPECT_EQ(repaired.ProviderId, vendorId);
    EXPECT_NE(repaired.dwCatalogEntryId, vendorChain);
    EXPECT_EQ(ChainOf(repaired), (std::vector<DWORD>{vendorLayer, tcp}));
    // Reinstalled with the library of its new top layer.
    EXPECT_EQ(PathOf(vendorId), "libvendor.so");
}

TEST_F(Removal, RepairWithoutAChainThatHoldsTheIdGives204) {
    EXPECT_EQ(installer.repairChain(1001), REPAIR_NO_CHAIN);
}

using DiagRemoval = CatalogTest;

TEST_F(DiagRemoval, AMissingRecordedEntryGives200AndRemovesNothingMore) {
    CDiagInstaller installer;
    ASSERT_EQ(installer.install(), 0);
    GUID tcpChain = Value("2");
    int error = 0;
    ASSERT_EQ(WSCDeinstallProvider(&tcpChain, &error), 0);
    auto before = Names();
    EXPECT_EQ(installer.uninstall(), REMOVE_NOT_FOUND);
    EXPECT_EQ(Names(), before);
    EXPECT_EQ(installer.removeByGuid(tcpChain), REMOVE_NOT_FOUND);
    EXPECT_EQ(installer.removeByGuid(Value("3")), 0);
    EXPECT_EQ(CCatalogInstaller::catalogIdOf(Value("3")), 0u);
}

TEST_F(DiagRemoval, InstallAndRemoveLeaveNoEntryOfOurs) {
    CDiagInstaller installer;
    auto seeded = Names();
    ASSERT_EQ(installer.install(), 0);
    ASSERT_EQ(installer.uninstall(), 0);
    EXPECT_EQ(Names(), seeded);
}

} // namespace
