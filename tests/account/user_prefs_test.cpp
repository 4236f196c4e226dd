// The preference file: sections, owners, edits and the integrity code.

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "tests/account/prefs_fixture.h"

#include <filesystem>

namespace {

using UserPrefs = qmtest::PrefsFixture;

const char kFile[] = "[POPUPS]\n*,popups.example.org\n\n"
                     "[APPS]\nAnna,KAZAA.EXE,Kazaa\n*,aim.exe,AIM\nBen,icq.exe,ICQ\nnocomma\n\n"
                     "[SOALLOWS]\nANNA,news.example.com\n*,always.example.net\n\n"
                     "[SODENIES]\n*,*.example.com\nBen,games.example.org\n\n";

TEST_F(UserPrefs, MissingFileIsCreatedWithTheFiveEmptySections) {
    CUserPrefs prefs;
    EXPECT_FALSE(prefs.Open("*", "*")); // no integrity code recorded yet
    EXPECT_EQ(ReadPrefs(), "[POPUPS]\n\n[PORTS]\n\n[APPS]\n\n[SOALLOWS]\n\n[SODENIES]\n\n");
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
}

TEST_F(UserPrefs, IntegrityCodeIsFiveHexDigitsRecordedAndChecked) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    std::string code = prefs.IntegrityCode();
    ASSERT_EQ(code.size(), 5u);
    EXPECT_EQ(code.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
    prefs.RecordIntegrity(7);
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    WritePrefs(std::string(kFile) + "[PORTS]\n*,23,Telnet\n\n"); // a hand edit
    EXPECT_NE(prefs.IntegrityCode(), code);
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
}

TEST_F(UserPrefs, AnonymousIdentityReadsNothingWhenTheCheckFails) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    std::vector<std::string> apps;
    EXPECT_FALSE(prefs.ReadMemberLines("[APPS]", "*", "*", apps));
    EXPECT_TRUE(apps.empty());
    CSiteOverrideLists lists;
    lists.Load("*", "*", prefs);
    EXPECT_FALSE(lists.OnDenyList("http://news.example.com/"));
    EXPECT_TRUE(lists.OnAllowList("http://www.orvane.com/x")); // fixed entries only
}

TEST_F(UserPrefs, SiteSectionsTakeTheMembersLinesAndTheStarLines) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    CSiteOverrideLists anna;
    anna.Load("anna", "pw", prefs);
    EXPECT_TRUE(anna.OnAllowList("http://news.example.com/"));
    EXPECT_FALSE(anna.OnAllowList("http://example.com/"));
    EXPECT_TRUE(anna.OnAllowList("http://always.example.net/"));
    EXPECT_TRUE(anna.OnDenyList("http://news.example.com/"));
    EXPECT_TRUE(anna.OnDenyList("http://example.com/"));
    EXPECT_FALSE(anna.OnDenyList("http://games.example.org/"));
    EXPECT_TRUE(anna.OnPopupAllowList("http://popups.example.org/"));

    CSiteOverrideLists anonymous;
    anonymous.Load("*", "*", prefs);
    EXPECT_FALSE(anonymous.OnAllowList("http://news.example.com/"));
    EXPECT_TRUE(anonymous.OnDenyList("http://news.example.com/"));
    EXPECT_FALSE(anonymous.OnDenyList("http://games.example.org/"));
}

TEST_F(UserPrefs, ProgramLinesOfEveryMemberGoToTheAnonymousIdentity) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    std::vector<std::string> all;
    EXPECT_TRUE(prefs.ReadMemberLines("[APPS]", "*", "*", all));
    EXPECT_EQ(all, (std::vector<std::string>{"KAZAA.EXE,Kazaa", "aim.exe,AIM", "icq.exe,ICQ"}));
    std::vector<std::string> ben;
    EXPECT_TRUE(prefs.ReadMemberLines("[APPS]", "BEN", "pw", ben));
    EXPECT_EQ(ben, (std::vector<std::string>{"aim.exe,AIM", "icq.exe,ICQ"}));
    std::vector<std::string> ports;
    EXPECT_FALSE(prefs.ReadMemberLines("[PORTS]", "*", "*", ports));
}

TEST_F(UserPrefs, EmptySectionIsFoundAndGivesNoLines) {
    WritePrefs("[APPS]\n\n[PORTS]\r\n*,6667,IRC\r\n\r\n*,23,after the end\r\n");
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    std::vector<std::string> apps;
    EXPECT_TRUE(prefs.ReadMemberLines("[apps]", "*", "*", apps));
    EXPECT_TRUE(apps.empty());
    std::vector<std::string> ports;
    EXPECT_TRUE(prefs.ReadMemberLines("[PORTS]", "*", "*", ports));
    EXPECT_EQ(ports, (std::vector<std::string>{"6667,IRC"}));
}

TEST_F(UserPrefs, SectionTextIsReadWithoutTheCheck) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    EXPECT_EQ(prefs.SectionText("[SOALLOWS]"), "ANNA,news.example.com\n*,always.example.net\n");
    EXPECT_EQ(prefs.SectionText("[PORTS]"), "");
}

TEST_F(UserPrefs, AddAndRemoveLinesKeepTheFileGuarded) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    EXPECT_TRUE(prefs.AddLine("[POPUPS]", "Anna,games.example.org"));
    EXPECT_EQ(prefs.SectionText("[POPUPS]"), "Anna,games.example.org\n*,popups.example.org\n");
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    EXPECT_FALSE(std::filesystem::exists(PrefsPath() + ".new"));
    EXPECT_TRUE(prefs.RemoveLine("*,POPUPS.example.org"));
    EXPECT_EQ(prefs.SectionText("[POPUPS]"), "Anna,games.example.org\n");
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
}

TEST_F(UserPrefs, EditsAreRefusedWhenTheFileWasChangedBehindOurBack) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    WritePrefs(std::string(kFile) + "\n");
    EXPECT_FALSE(prefs.AddLine("[POPUPS]", "*,x.example.org"));
    EXPECT_FALSE(prefs.RemoveLine("*,popups.example.org"));
    EXPECT_EQ(ReadPrefs(), std::string(kFile) + "\n");
}

TEST_F(UserPrefs, FixedDomainsAreAllowedAndFreeOfPopupBlockingForEveryone) {
    CUserPrefs prefs;
    CSiteOverrideLists lists;
    lists.Load("*", "*", prefs);
    for (const char* host : {"tellwyn", "zandolet", "quorrin", "orvane", "kimbrel"}) {
        std::string address = std::string("http://a.b.") + host + ".com/page";
        EXPECT_TRUE(lists.OnAllowList(address)) << host;
        EXPECT_TRUE(lists.OnPopupAllowList(address)) << host;
        EXPECT_FALSE(lists.OnAllowList(std::string("http://") + host + ".org/")) << host;
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CPCAppApp app(argc, argv);
    return RUN_ALL_TESTS();
}
