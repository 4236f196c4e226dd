// The preference file: sections, owners, edits and the integrity code.

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "common/text.h"
#include "platform/registry.h"
#include "tests/account/prefs_fixture.h"

#include <QCoreApplication>

#include <filesystem>
#include <fstream>

namespace {

using UserPrefs = qmtest::PrefsFixture;

const char kFile[] = "[POPUPS]\n*,popups.example.org\n\n"
                     "[APPS]\nAnna,KAZAA.EXE,Kazaa\n*,aim.exe,AIM\nBen,icq.exe,ICQ\nnocomma\n\n"
                     "[SOALLOWS]\nANNA,news.example.com\n*,always.example.net\n\n"
                     "[SODENIES]\n*,*.example.com\nBen,games.example.org\n\n";

std::string ReadUserValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    char buffer[64] = {};
    DWORD size = sizeof buffer;
    LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(buffer) : "<missing>";
}

TEST_F(UserPrefs, MissingFileIsCreatedWithTheFiveEmptySections) {
    CUserPrefs prefs;
    EXPECT_FALSE(prefs.Open("*", "*")); // no integrity code recorded yet
    EXPECT_EQ(ReadPrefs(), "[POPUPS]\r\n\r\n[PORTS]\r\n\r\n[APPS]\r\n\r\n[SOALLOWS]\r\n\r\n"
                           "[SODENIES]\r\n\r\n");
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
    EXPECT_EQ(ReadUserValue("OverrideCheckNew"), "<missing>"); // the record was completed
    EXPECT_TRUE(prefs.RemoveLine("*,POPUPS.example.org"));
    EXPECT_EQ(prefs.SectionText("[POPUPS]"), "Anna,games.example.org\n");
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
}

// A crash between putting a new file in place and recording its code leaves
// the new file and the code recorded for it beforehand: it passes, and the
// record is completed. A crash before the rename leaves the old file, which
// passes as before.
TEST_F(UserPrefs, AFileReplacedWithoutItsFinalRecordStillPasses) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    std::string next = PrefsPath() + ".new";
    std::ofstream(next) << kFile << "[PORTS]\n*,23,Telnet\n\n";
    prefs.RecordPendingIntegrity(next);
    EXPECT_FALSE(prefs.IntegrityCheckFailed()); // the old file, not yet replaced
    std::filesystem::rename(next, PrefsPath());
    EXPECT_FALSE(prefs.IntegrityCheckFailed()); // the new one, recorded in advance
    std::vector<std::string> ports;
    EXPECT_TRUE(prefs.ReadMemberLines("[PORTS]", "*", "*", ports));
    EXPECT_EQ(ports, std::vector<std::string>{"23,Telnet"});
    WritePrefs(kFile); // the old text again: its code is no longer recorded
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(UserPrefs, AFailedReplacementKeepsTheFileAndIsLoggedAndToldOnce) {
    std::string record = installation.InstallDir() + "/notifications.txt";
    qmtest::ScopedEnv recording{"QUELLMARK_NOTIFY_RECORD", record};
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    std::filesystem::create_directory(PrefsPath() + ".new"); // the replacement cannot be made
    EXPECT_FALSE(prefs.AddLine("[PORTS]", "*,23,Telnet"));
    EXPECT_FALSE(prefs.RemoveLine("*,aim.exe,AIM"));
    QCoreApplication::processEvents();
    EXPECT_EQ(ReadPrefs(), kFile);
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    std::ifstream log(installation.LogFile());
    int logged = 0;
    for (std::string line; std::getline(log, line);) {
        logged += line.find("user.prefs cannot be written in " + installation.InstallDir()) !=
                  std::string::npos;
    }
    EXPECT_EQ(logged, 2);
    std::ifstream told(record);
    std::vector<std::string> notes;
    for (std::string line; std::getline(told, line);) {
        notes.push_back(line);
    }
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("The filter cannot save<BR>", 0), 0u);
}

TEST_F(UserPrefs, FilesWithEitherLineEndReadTheSame) {
    CUserPrefs prefs;
    auto read = [&](const std::string& text) {
        WritePrefs(text);
        prefs.RecordIntegrity(-1);
        std::vector<std::string> lines;
        prefs.ReadMemberLines("[APPS]", "*", "*", lines);
        CSiteOverrideLists anna;
        anna.Load("anna", "pw", prefs);
        lines.push_back(anna.OnAllowList("http://news.example.com/") ? "allowed" : "-");
        lines.push_back(anna.OnDenyList("http://games.example.org/") ? "denied" : "-");
        lines.push_back(anna.OnPopupAllowList("http://popups.example.org/") ? "popups" : "-");
        lines.push_back(prefs.SectionText("[SODENIES]"));
        return lines;
    };
    std::vector<std::string> fromLf = read(kFile);
    ASSERT_FALSE(qmtest::EveryLineEndIsCrLf(ReadPrefs()));
    std::vector<std::string> fromCrLf = read(qm::WithCrLf(kFile));
    ASSERT_TRUE(qmtest::EveryLineEndIsCrLf(ReadPrefs()));
    EXPECT_EQ(fromLf, fromCrLf);
    EXPECT_EQ(fromCrLf, (std::vector<std::string>{"KAZAA.EXE,Kazaa", "aim.exe,AIM", "icq.exe,ICQ",
                                                  "allowed", "-", "popups",
                                                  "*,*.example.com\nBen,games.example.org\n"}));
}

TEST_F(UserPrefs, EditsWriteCarriageReturnAndLineFeedAndKeepTheCodeValid) {
    WritePrefs(qm::WithCrLf(kFile));
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    ASSERT_TRUE(prefs.AddLine("[SOALLOWS]", "*,added.example.org"));
    EXPECT_TRUE(qmtest::EveryLineEndIsCrLf(ReadPrefs())) << ReadPrefs();
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    ASSERT_TRUE(prefs.RemoveLine("ben,games.example.org"));
    EXPECT_EQ(
        ReadPrefs(),
        "[POPUPS]\r\n*,popups.example.org\r\n\r\n"
        "[APPS]\r\nAnna,KAZAA.EXE,Kazaa\r\n*,aim.exe,AIM\r\nBen,icq.exe,ICQ\r\nnocomma\r\n\r\n"
        "[SOALLOWS]\r\n*,added.example.org\r\nANNA,news.example.com\r\n"
        "*,always.example.net\r\n\r\n"
        "[SODENIES]\r\n*,*.example.com\r\n\r\n");
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    // The code is over the exact bytes: the same lines with line feeds alone differ.
    std::string crlf = ReadPrefs();
    std::string lf = crlf;
    std::erase(lf, '\r');
    WritePrefs(lf);
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
    WritePrefs(crlf);
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
}

TEST_F(UserPrefs, EditsKeepALineEndingInACarriageReturnAsItWas) {
    // "[APPS]\r" is no header: an edit elsewhere must not turn it into one and
    // hide the real section behind it.
    const std::string file =
        "[APPS]\r\r\n\r\n[APPS]\r\nanna,chat.exe,Chat\r\n\r\n[SOALLOWS]\r\n\r\n";
    WritePrefs(file);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    ASSERT_TRUE(prefs.AddLine("[SOALLOWS]", "*,x.example.org"));
    EXPECT_EQ(ReadPrefs(), "[APPS]\r\r\n\r\n[APPS]\r\nanna,chat.exe,Chat\r\n\r\n"
                           "[SOALLOWS]\r\n*,x.example.org\r\n\r\n");
    std::vector<std::string> apps;
    EXPECT_TRUE(prefs.ReadMemberLines("[APPS]", "anna", "pw", apps));
    EXPECT_EQ(apps, std::vector<std::string>{"chat.exe,Chat"});
}

TEST_F(UserPrefs, EditOfAFileWithLineFeedsAloneWritesCarriageReturnsEverywhere) {
    WritePrefs(kFile);
    CUserPrefs prefs;
    prefs.RecordIntegrity(-1);
    ASSERT_TRUE(prefs.RemoveLine("nocomma"));
    std::string text = ReadPrefs();
    EXPECT_TRUE(qmtest::EveryLineEndIsCrLf(text)) << text;
    EXPECT_EQ(text.find("nocomma"), std::string::npos);
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
