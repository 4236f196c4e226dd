// The channel client talks only to its own account's service: a listener on
// the channel port that belongs to another account is never asked.
#include "platform/block_page_location.h"
#include "platform/channel_port.h"
#include "platform/presence.h"
#include "platform/registry.h"
#include "provider/agency_comms.h"

#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/support/member_settings.h"
#include "tests/support/other_account.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <pwd.h>

namespace {

platform::BlockPageLocation BlockPage() {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    platform::BlockPageLocation location = platform::ReadBlockPageLocation(key);
    RegCloseKey(key);
    return location;
}

TEST(OtherAccount, AStrangersListenerOnTheChannelPortIsNeverAsked) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    int presence = platform::ListenOnName("VRA_Class"); // this account's service is there
    ASSERT_GE(presence, 0);
    qmtest::OtherAccountProcess stranger(
        [] { return qmtest::ListenOnLoopbackPort(4100) >= 0 ? 0 : 1; }, true);
    ASSERT_EQ(stranger.Wait(), 0);
    zul::CAgencyComms comms(dir.path(), 2);
    EXPECT_FALSE(comms.EstablishCommunication(zul::COMMS_URL));
    EXPECT_FALSE(comms.EstablishCommunication(zul::COMMS_APP));
    EXPECT_EQ(qmtest::CountInLog(dir.path(), "-> CAgencyComms::EstablishCommunication - "
                                             "Connection to KOVARI was not made.\n"),
              2);
    ::close(presence);
}

// The second of the machine's filtered accounts is served on the next port.
TEST(OtherAccount, TheChannelPortFollowsTheAccountsPlaceAmongTheFilteredOnes) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", dir.path());
    std::string me = ::getpwuid(::geteuid())->pw_name;
    qmtest::SetMachineSetting("FilteredAccounts", "first-child," + me);
    EXPECT_EQ(platform::ChannelPort(), 4101);
    EXPECT_EQ(BlockPage().port, 4181); // the block page moves with the channel
    EXPECT_EQ(BlockPage().address, "http://127.0.0.1:4181/");
    int presence = platform::ListenOnName("VRA_Class");
    int listener = qmtest::ListenOnLoopbackPort(4101);
    ASSERT_GE(listener, 0);
    zul::CAgencyComms comms(dir.path(), 2);
    EXPECT_TRUE(comms.EstablishCommunication(zul::COMMS_APP));
    qmtest::SetMachineSetting("FilteredAccounts", me + ",second-child");
    EXPECT_EQ(platform::ChannelPort(), 4100);
    qmtest::SetMachineSetting("BlockPage", "http://filter.example/");
    EXPECT_EQ(BlockPage().port, 4180);
    EXPECT_EQ(BlockPage().address, "http://filter.example/");
    qmtest::SetMachineSetting("FilteredAccounts", "");
    EXPECT_EQ(platform::ChannelPort(), 4100);
    ::close(listener);
    ::close(presence);
}

} // namespace
