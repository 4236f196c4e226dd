// The pop-up blocker settings: how a typed site is normalised and checked, and
// the skinned dialog's profile list, painted buttons and messages.

#include "account/user_prefs.h"
#include "platform/qt/message_box.h"
#include "service/app.h"
#include "tests/support/kovari_process.h"
#include "ui/popup_settings_dlg.h"
#include "ui/popup_site.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string Normalized(const std::string& site) {
    std::string pattern;
    const char* error = NormalizePopupSite(site, pattern);
    return error ? std::string("error: ") + error : pattern;
}

TEST(PopupSite, SchemePathAndQueryAreDropped) {
    EXPECT_EQ(Normalized("ftp://news.example.org/path?x=1"), "news.example.org");
    EXPECT_EQ(Normalized("http://www.example.com:8080/x"), "www.example.com");
    EXPECT_EQ(Normalized("www.example.com\\dir"), "www.example.com");
    EXPECT_EQ(Normalized("a.example.com?q=1"), "a.example.com");
}

TEST(PopupSite, BareDomainsAndDotsAreWidened) {
    EXPECT_EQ(Normalized("example.com"), "*.example.com");
    EXPECT_EQ(Normalized(".example.com"), "*.example.com");
    EXPECT_EQ(Normalized("example."), "*.example.*");
    EXPECT_EQ(Normalized("  example.com\t"), "*.example.com");
}

TEST(PopupSite, PunctuationAndBlanksAreRemovedLast) {
    EXPECT_EQ(Normalized("ex ample.com"), "*.example.com");
    EXPECT_EQ(Normalized("my_site!.ex-ample.com"), "mysite.ex-ample.com");
    EXPECT_EQ(Normalized("a'b,c<d>.example.com"), "abcd.example.com");
}

TEST(PopupSite, BlankInvalidAndTooLongAreRefusedWithTheirTexts) {
    EXPECT_EQ(Normalized(""), "error: ERROR: You cannot add a blank site.");
    EXPECT_EQ(Normalized("   "), "error: ERROR: You cannot add a blank site.");
    EXPECT_EQ(Normalized("localhost"), "error: ERROR: The site you entered is invalid.");
    std::string site255 = std::string(251, 'a') + ".com";
    ASSERT_EQ(site255.size(), 255u);
    EXPECT_EQ(Normalized(site255), "*." + site255);
    EXPECT_EQ(Normalized("b" + site255), "error: ERROR: The site you entered is too long");
    // The length is tested before anything is cut away.
    EXPECT_EQ(Normalized("http://a.example.com/" + std::string(240, 'p')),
              "error: ERROR: The site you entered is too long");
    // Nothing of a host left after the cuts: refused, never stored as an empty site.
    EXPECT_EQ(Normalized("www.example.com//"), "error: ERROR: The site you entered is invalid.");
    EXPECT_EQ(Normalized("http://:8080/a.b"), "error: ERROR: The site you entered is invalid.");
}

struct Box {
    std::string caption;
    std::string text;
    UINT type;
};

class PopupSettingsDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetMessageBoxHandler(
            [this](const std::string& caption, const std::string& text, UINT type) {
                boxes.push_back({caption, text, type});
                return platform::IDOK;
            });
        std::filesystem::create_directories(installation.InstallDir() + "/resources");
        std::filesystem::copy_file(qmtest::BuiltFile("../resources/settings1.bmp"),
                                   installation.InstallDir() + "/resources/settings1.bmp");
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    void ClickAt(QWidget& widget, int x, int y) {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y),
                            widget.mapToGlobal(QPointF(x, y)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &release);
    }

    qmtest::Installation installation;
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", installation.RegistryDir()};
    CUserPrefs prefs;
    std::vector<Box> boxes;
};

TEST_F(PopupSettingsDialog, ProfilesAreAllProfilesThenTheSavedNames) {
    std::ofstream(installation.RegistryDir() + "/HKEY_CURRENT_USER.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quellmark\\UserProfiles]\n"
        << "@=\"anna~secret\"\n\"anna\"=\"anna\"\n\"ben\"=\"ben\"\n";
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    QComboBox* profiles = dialog.ProfileList();
    ASSERT_EQ(profiles->count(), 3);
    EXPECT_EQ(profiles->itemText(0), "All Profiles");
    EXPECT_EQ(profiles->itemText(1), "anna");
    EXPECT_EQ(profiles->itemText(2), "ben");
    EXPECT_EQ(profiles->currentIndex(), 0);
}

TEST_F(PopupSettingsDialog, WithoutSavedProfilesOnlyAllProfilesIsListedAndChosen) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    EXPECT_EQ(dialog.ProfileList()->count(), 1);
    EXPECT_EQ(dialog.ProfileList()->currentText(), "All Profiles");
}

TEST_F(PopupSettingsDialog, SkinGivesTheSizeAndAnOutlineWithoutTheMagenta) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    EXPECT_EQ(dialog.size(), QSize(600, 400));
    QRegion outline = dialog.mask();
    EXPECT_TRUE(outline.contains(QPoint(300, 200)));
    EXPECT_FALSE(outline.contains(QPoint(0, 0)));
    EXPECT_FALSE(outline.contains(QPoint(599, 399)));
}

TEST_F(PopupSettingsDialog, MissingSkinStillWorks) {
    std::filesystem::remove(installation.InstallDir() + "/resources/settings1.bmp");
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    EXPECT_TRUE(dialog.mask().isEmpty());
    ClickAt(dialog, 442, 364);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(PopupSettingsDialog, SiteErrorsAreShownAndTheTypedTextStays) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    dialog.SiteEdit()->setText("localhost");
    ClickAt(dialog, 443, 276); // Add
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Add Site Error");
    EXPECT_EQ(boxes[0].text, "ERROR: The site you entered is invalid.");
    EXPECT_EQ(boxes[0].type, platform::MB_OK);
    EXPECT_EQ(dialog.SiteEdit()->text(), "localhost");
    dialog.SiteEdit()->clear();
    ClickAt(dialog, 543, 296); // still Add: the last pixel inside
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "ERROR: You cannot add a blank site.");
    ClickAt(dialog, 544, 297); // the excluded corner: nothing
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(PopupSettingsDialog, PreferenceFileRefusingTheChangeIsReported) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    dialog.SiteEdit()->setText("example.com");
    dialog.OnAdd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "User Preference File Error");
    EXPECT_EQ(boxes[0].text, "There is a problem with your user preference file.  You will not be "
                             "able to\nadd popup blocker settings until you log out and log back "
                             "in.");
    EXPECT_EQ(boxes[0].type, platform::MB_ICONERROR);
    EXPECT_EQ(dialog.SiteEdit()->text(), "example.com");
}

TEST_F(PopupSettingsDialog, PaintedButtonsEndTheDialog) {
    CPopupSettingsDlg ok(installation.InstallDir(), prefs);
    ClickAt(ok, 506, 387);
    EXPECT_EQ(ok.result(), QDialog::Accepted);
    CPopupSettingsDlg cancel(installation.InstallDir(), prefs);
    cancel.setResult(-1);
    ClickAt(cancel, 520, 364);
    EXPECT_EQ(cancel.result(), QDialog::Rejected);
    CPopupSettingsDlg closeMark(installation.InstallDir(), prefs);
    closeMark.setResult(-1);
    ClickAt(closeMark, 590, 18);
    EXPECT_EQ(closeMark.result(), QDialog::Rejected);
    CPopupSettingsDlg edge(installation.InstallDir(), prefs);
    edge.setResult(-1);
    ClickAt(edge, 507, 388);
    EXPECT_EQ(edge.result(), -1);
}

// The dialog over a real preference file whose integrity code is recorded.
class PopupSettingsWithPreferences : public PopupSettingsDialog {
  protected:
    void SetUp() override {
        PopupSettingsDialog::SetUp();
        installation.WriteSettings(2);
        std::ofstream(installation.RegistryDir() + "/HKEY_CURRENT_USER.reg", std::ios::app)
            << "\n[HKEY_CURRENT_USER\\Software\\Quellmark\\UserProfiles]\n\"Anna\"=\"Anna\"\n";
        CPCAppApp::Current()->ReadSettings();
        std::ofstream(installation.InstallDir() + "/user.prefs")
            << "[POPUPS]\r\n*,*.example.com\r\nanna,*.games.example\r\nben,*.ben.example\r\n\r\n"
            << "[SOALLOWS]\r\n\r\n";
        prefs.RecordIntegrity(-1);
    }

    std::vector<std::string> Listed(CPopupSettingsDlg& dialog) {
        std::vector<std::string> sites;
        for (int i = 0; i < dialog.SiteList()->count(); ++i) {
            sites.push_back(dialog.SiteList()->item(i)->text().toStdString());
        }
        return sites;
    }

    std::string PrefsFile() {
        std::ifstream file(installation.InstallDir() + "/user.prefs");
        std::stringstream read;
        read << file.rdbuf();
        return read.str();
    }
};

TEST_F(PopupSettingsWithPreferences, AllProfilesListsOnlyTheEntriesForEveryone) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"*.example.com"}));
}

TEST_F(PopupSettingsWithPreferences, ConfirmedProfileListsItsEntriesIgnoringCase) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    ASSERT_EQ(dialog.ProfileList()->itemText(1), "Anna");
    dialog.ProfileList()->setCurrentIndex(1); // a plain selection change does nothing
    EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"*.example.com"}));
    emit dialog.ProfileList()->activated(1);
    EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"*.games.example"}));
}

TEST_F(PopupSettingsWithPreferences, AddedSiteIsStoredNormalisedRightAfterTheHeader) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    dialog.SiteEdit()->setText("ftp://news.example.org/path?x=1");
    dialog.OnAdd();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(PrefsFile().starts_with("[POPUPS]\r\n*,news.example.org\r\n*,*.example.com\r\n"))
        << PrefsFile();
    EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"*.example.com", "news.example.org"}));
    EXPECT_TRUE(dialog.SiteEdit()->text().isEmpty());
}

TEST_F(PopupSettingsWithPreferences, SelectedSiteIsRemovedForTheChosenProfile) {
    CPopupSettingsDlg dialog(installation.InstallDir(), prefs);
    dialog.OnRemove(); // nothing selected: nothing happens
    EXPECT_NE(PrefsFile().find("*,*.example.com"), std::string::npos);
    dialog.SiteList()->setCurrentRow(0);
    dialog.OnRemove();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(PrefsFile().find("*,*.example.com"), std::string::npos);
    EXPECT_NE(PrefsFile().find("anna,*.games.example"), std::string::npos);
    EXPECT_TRUE(Listed(dialog).empty());
}

} // namespace
