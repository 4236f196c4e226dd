// Downloading a member's preferences from the account server stand-in.

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "tests/account/account_fixture.h"

#include <filesystem>

namespace {

using PrefsDownload = qmtest::AccountFixture;

DWORD RecordedVersion() {
    HKEY key = nullptr;
    DWORD value = 0xffffffff;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        DWORD size = sizeof value;
        RegQueryValueExA(key, "OverrideVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size);
        RegCloseKey(key);
    }
    return value;
}

TEST_F(PrefsDownload, ReplacesTheFileKeepsPopupsAndRecordsVersionAndCode) {
    WritePrefs("[POPUPS]\n*,popups.example.org\n\n[SOALLOWS]\n*,old.example.org\n\n");
    CUserPrefs prefs;
    prefs.Download("anna", "secret", 3);
    EXPECT_EQ(ReadPrefs(), "[POPUPS]\r\n*,popups.example.org\r\n\r\n"
                           "[SOALLOWS]\r\nanna,news.example.com\r\n\r\n"
                           "[SODENIES]\r\n*,*.example.com\r\n\r\n"
                           "[APPS]\r\nanna,kazaa.exe,Kazaa\r\n\r\n");
    EXPECT_FALSE(prefs.IntegrityCheckFailed());
    EXPECT_EQ(RecordedVersion(), 3u);
    EXPECT_FALSE(std::filesystem::exists(PrefsPath() + ".new"));
}

TEST_F(PrefsDownload, HandEditIsDownloadedAgainForAMemberExceptPopups) {
    CUserPrefs prefs;
    prefs.Download("anna", "secret", 3);
    std::string edited = ReadPrefs();
    edited.replace(edited.find("[POPUPS]\r\n"), 10, "[POPUPS]\r\n*,mine.example.org\r\n");
    edited += "[SOALLOWS]\r\n*,sneaky.example.org\r\n\r\n";
    WritePrefs(edited);
    CSiteOverrideLists lists;
    lists.Load("anna", "secret", prefs); // the failed check downloads first
    EXPECT_FALSE(lists.OnAllowList("http://sneaky.example.org/"));
    EXPECT_TRUE(lists.OnAllowList("http://news.example.com/"));
    EXPECT_TRUE(lists.OnPopupAllowList("http://mine.example.org/"));
    EXPECT_EQ(ReadPrefs().find("sneaky"), std::string::npos);
    EXPECT_TRUE(qmtest::EveryLineEndIsCrLf(ReadPrefs())) << ReadPrefs();
    EXPECT_EQ(RecordedVersion(), 3u); // a download for a failed check keeps the version
}

TEST_F(PrefsDownload, AnswerWithoutResponseWritesOnlyThePopups) {
    WritePrefs("[POPUPS]\n*,popups.example.org\n\n[SOALLOWS]\n*,old.example.org\n\n");
    CUserPrefs prefs;
    prefs.Download("prefs-no-response", "pw", 5);
    EXPECT_EQ(ReadPrefs(), "[POPUPS]\r\n*,popups.example.org\r\n\r\n");
    EXPECT_EQ(RecordedVersion(), 5u);
}

TEST_F(PrefsDownload, FailedVerificationKeepsTheOldFileAndRecordsNothing) {
    const std::string old = "[POPUPS]\n\n[SOALLOWS]\n*,old.example.org\n\n";
    WritePrefs(old);
    CUserPrefs prefs;
    prefs.Download("bad-sid", "pw", 9);
    prefs.Download("anna", "wrong password", 9);
    EXPECT_EQ(ReadPrefs(), old);
    EXPECT_EQ(RecordedVersion(), 0xffffffffu);
    EXPECT_TRUE(prefs.IntegrityCheckFailed());
}

TEST_F(PrefsDownload, AnonymousIdentityNeverDownloads) {
    WritePrefs("[SODENIES]\n*,bad.example.org\n\n");
    CSiteOverrideLists lists;
    CUserPrefs prefs;
    lists.Load("*", "*", prefs);
    EXPECT_FALSE(lists.OnDenyList("http://bad.example.org/"));
    EXPECT_TRUE(Requests().empty());
}

TEST_F(PrefsDownload, LegacyListsAreImportedIntoPopupsAndRemoved) {
    qmtest::TempDir legacy;
    qmtest::ScopedEnv legacyDir("QUELLMARK_LEGACY_DIR", legacy.path());
    std::ofstream(legacy / "overrides.list") << "whatever\n";
    std::ofstream(legacy / "popups.list") << "games.example.org\tanna\r\nads.example.net\t*\r\n";
    WritePrefs("[POPUPS]\n*,kept.example.org\n\n");
    CUserPrefs prefs;
    prefs.Download("anna", "secret", 3);
    EXPECT_EQ(prefs.SectionText("[POPUPS]"),
              "*,ads.example.net\nanna,games.example.org\n*,kept.example.org\n");
    EXPECT_TRUE(qmtest::EveryLineEndIsCrLf(ReadPrefs())) << ReadPrefs();
    EXPECT_FALSE(std::filesystem::exists(legacy / "overrides.list"));
    EXPECT_FALSE(std::filesystem::exists(legacy / "popups.list"));
}

TEST_F(PrefsDownload, EmptyLegacyPopupListIsRemoved) {
    qmtest::TempDir legacy;
    qmtest::ScopedEnv legacyDir("QUELLMARK_LEGACY_DIR", legacy.path());
    std::ofstream(legacy / "popups.list").flush();
    CUserPrefs prefs;
    prefs.Download("anna", "secret", 3);
    EXPECT_FALSE(std::filesystem::exists(legacy / "popups.list"));
    EXPECT_EQ(prefs.SectionText("[POPUPS]"), "");
}

} // namespace
