#include "installer/kovinst/setup_installer.h"
#include "tests/installer/catalog_fixture.h"

namespace {

using namespace qmtest;

class Install : public CatalogTest {
  protected:
    CSetupInstaller installer;
};

TEST_F(Install, OneTcpAndOneUdpBaseGiveTcpChainFirstUdpSecondAndThreeGuids) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W},
               {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W},
               {"RSVP TCP Service Provider", IPPROTO_TCP_W}});
    DWORD tcp = EntryNamed("MSAFD Tcpip [TCP/IP]").dwCatalogEntryId;
    DWORD udp = EntryNamed("MSAFD Tcpip [UDP/IP]").dwCatalogEntryId;
    ASSERT_EQ(installer.install(), 0);

    EXPECT_EQ(Names(), (std::vector<std::string>{"Quellmark over MSAFD Tcpip [TCP/IP]",
                                                 "Quellmark over MSAFD Tcpip [UDP/IP]",
                                                 "MSAFD Tcpip [TCP/IP]", "MSAFD Tcpip [UDP/IP]",
                                                 "RSVP TCP Service Provider", "Quellmark"}));
    WSAPROTOCOL_INFOW layer = EntryNamed("Quellmark");
    EXPECT_EQ(layer.ProtocolChain.ChainLen, LAYERED_PROTOCOL);
    EXPECT_EQ(layer.dwProviderFlags, PFL_HIDDEN);
    EXPECT_EQ(layer.iProtocol, IPPROTO_TCP_W);
    EXPECT_EQ(layer.iMaxSockAddr, 16);
    EXPECT_EQ(layer.ProviderId, Value("1"));
    EXPECT_EQ(PathOf(layer.ProviderId), "libZUL.so");

    WSAPROTOCOL_INFOW tcpChain = EntryNamed("Quellmark over MSAFD Tcpip [TCP/IP]");
    EXPECT_EQ(ChainOf(tcpChain), (std::vector<DWORD>{layer.dwCatalogEntryId, tcp}));
    EXPECT_EQ(tcpChain.ProviderId, Value("2"));
    EXPECT_EQ(tcpChain.dwServiceFlags1 & XP1_IFS_HANDLES, 0u);
    EXPECT_TRUE(tcpChain.dwServiceFlags1 & XP1_GUARANTEED_DELIVERY); // the rest is copied
    EXPECT_EQ(PathOf(tcpChain.ProviderId), "libZUL.so");
    WSAPROTOCOL_INFOW udpChain = EntryNamed("Quellmark over MSAFD Tcpip [UDP/IP]");
    EXPECT_EQ(ChainOf(udpChain), (std::vector<DWORD>{layer.dwCatalogEntryId, udp}));
    EXPECT_EQ(udpChain.ProviderId, Value("3"));
    EXPECT_EQ(udpChain.iProtocol, IPPROTO_UDP_W);
    EXPECT_FALSE(HasValue("2.1"));
    EXPECT_FALSE(HasValue("3.1"));
}

TEST_F(Install, EveryChainOfTheSeededCatalogIsRecordedAndOrderedFirst) {
    ASSERT_EQ(installer.install(), 0);
    auto names = Names();
    ASSERT_EQ(names.size(), 8u + 5u);
    // "2" and "3" name the chain installed last (over IPv6); the earlier ones are
    // recorded beside them and follow them at the front.
    EXPECT_EQ(names[0], "Quellmark over MSAFD Tcpip [TCP/IPv6]");
    EXPECT_EQ(names[1], "Quellmark over MSAFD Tcpip [TCP/IP]");
    EXPECT_EQ(names[2], "Quellmark over MSAFD Tcpip [UDP/IPv6]");
    EXPECT_EQ(names[3], "Quellmark over MSAFD Tcpip [UDP/IP]");
    EXPECT_EQ(EntryNamed(names[0]).ProviderId, Value("2"));
    EXPECT_EQ(EntryNamed(names[1]).ProviderId, Value("2.1"));
    EXPECT_EQ(EntryNamed(names[2]).ProviderId, Value("3"));
    EXPECT_EQ(EntryNamed(names[3]).ProviderId, Value("3.1"));
    // No chain over the raw, RSVP or NetBIOS entries.
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.rfind("Quellmark", 0) == 0; }),
              5);
}

TEST_F(Install, InstallingTwiceGives10AndChangesNothing) {
    ASSERT_EQ(installer.install(), 0);
    auto before = Names();
    GUID layer = Value("1");
    EXPECT_EQ(installer.install(), INSTALL_ALREADY_INSTALLED);
    EXPECT_EQ(Names(), before);
    EXPECT_EQ(Value("1"), layer);
}

TEST_F(Install, RsvpAndNonMicrosoftBaseProvidersGetNoChain) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W},
               {"MS rsvp TCP", IPPROTO_TCP_W},
               {"Acme TCP", IPPROTO_TCP_W},
               {"ms lower case TCP", IPPROTO_TCP_W},
               {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    ASSERT_EQ(installer.install(), 0);
    auto names = Names();
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.rfind("Quellmark over", 0) == 0; }),
              2);
    EXPECT_EQ(names[0], "Quellmark over MSAFD Tcpip [TCP/IP]");
}

TEST_F(Install, AnotherVendorsChainOnTheTcpBaseSitsBetweenLayerAndBase) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W}, {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    DWORD tcp = EntryNamed("MSAFD Tcpip [TCP/IP]").dwCatalogEntryId;
    DWORD vendorLayer = Add(Record("Vendor Layer", LAYERED_PROTOCOL));
    DWORD vendorChain = Add(Record("Vendor over TCP", 2), "libvendor.so", {vendorLayer, tcp});
    ASSERT_EQ(installer.install(), 0);
    DWORD layer = CCatalogInstaller::catalogIdOf(Value("1"));
    EXPECT_EQ(ChainOf(EntryNamed("Quellmark over MSAFD Tcpip [TCP/IP]")),
              (std::vector<DWORD>{layer, vendorChain, tcp}));
    EXPECT_EQ(ChainOf(EntryNamed("Quellmark over MSAFD Tcpip [UDP/IP]")).size(), 2u);
}

TEST_F(Install, NoQualifyingUdpProviderEndsWith120AndKeepsWhatWasInstalled) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W}});
    EXPECT_EQ(installer.install(), INSTALL_ORDER_FAILED);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Quellmark over MSAFD Tcpip [TCP/IP]",
                                                 "MSAFD Tcpip [TCP/IP]", "Quellmark"}));
    EXPECT_FALSE(HasValue("3"));
}

TEST_F(Install, AChainLongerThanSevenIsRefusedWith111) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W}, {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    DWORD tcp = EntryNamed("MSAFD Tcpip [TCP/IP]").dwCatalogEntryId;
    DWORD vendorLayer = Add(Record("Vendor Layer", LAYERED_PROTOCOL));
    for (int i = 0; i < 5; ++i) {
        Add(Record("Vendor chain " + std::to_string(i), 2), "libvendor.so", {vendorLayer, tcp});
    }
    ASSERT_EQ(installer.install(), 0); // layer + 5 chains + base = 7 elements
    ASSERT_EQ(installer.uninstall(), 0);
    Add(Record("Vendor chain 5", 2), "libvendor.so", {vendorLayer, tcp});
    EXPECT_EQ(installer.install(), INSTALL_CHAIN_REFUSED);
    auto names = Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Quellmark over MSAFD Tcpip [TCP/IP]"), 0);
}

TEST_F(Install, LongBaseNamesAreCutTo255Characters) {
    std::string longName = "MS" + std::string(250, 'x');
    OnlyBases({{longName, IPPROTO_TCP_W}, {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    ASSERT_EQ(installer.install(), 0);
    std::string chainName = Names()[0];
    EXPECT_EQ(chainName.size(), 255u);
    EXPECT_EQ(chainName, ("Quellmark over " + longName).substr(0, 255));
}

TEST_F(Install, ChainValuesOfAnEarlierInstallAreForgotten) {
    OnlyBases({{"MSAFD Tcpip [TCP/IP]", IPPROTO_TCP_W}, {"MSAFD Tcpip [UDP/IP]", IPPROTO_UDP_W}});
    GUID stale{0x5a5a5a5a, 1, 2, {}};
    ASSERT_EQ(CCatalogInstaller::writeGuid("2.1", stale), 0);
    ASSERT_EQ(CCatalogInstaller::writeGuid("2.2", stale), 0);
    ASSERT_EQ(installer.install(), 0);
    EXPECT_FALSE(HasValue("2.1"));
    EXPECT_FALSE(HasValue("2.2"));
    ASSERT_EQ(installer.uninstall(), 0);
}

TEST_F(Install, MovingAnEntryThatIsNotInTheCatalogWritesNoOrder) {
    auto before = Names();
    EXPECT_EQ(installer.moveEntry(0, 0), INSTALL_ORDER_FAILED);
    EXPECT_EQ(installer.moveEntry(4242, 0), INSTALL_ORDER_FAILED);
    EXPECT_EQ(Names(), before);
    DWORD last = qm::EnumerateCatalog().back().dwCatalogEntryId;
    EXPECT_EQ(installer.moveEntry(last, 1), 0);
    EXPECT_EQ(qm::EnumerateCatalog()[1].dwCatalogEntryId, last);
}

} // namespace
