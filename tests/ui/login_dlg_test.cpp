// The login window driven with QTest: name completion, the remember box, the
// painted buttons, the dialog log-in against the account server stand-in, and
// the outline made from the skin.

#include "account/saved_profiles.h"
#include "tests/account/account_fixture.h"
#include "ui/bitmap_region.h"
#include "ui/login_dlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

namespace {

void WriteProfiles(const std::string& remembered) {
    for (std::string name : {"bob", "anna", "andrew"}) {
        qmtest::SetRegistryString(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles",
                                  name.c_str(), name);
    }
    qmtest::RememberMember(remembered);
}

std::string SkinFile() {
    return std::string(QM_BIN_DIR) + "/../resources/login.bmp";
}

class LoginDialog : public qmtest::AccountFixture {
  protected:
    void SetUp() override {
        AccountFixture::SetUp();
        WriteProfiles("bob~pw");
    }
    void TypeName(CLoginDlg& dialog, const char* text) {
        QTest::keyClicks(dialog.NameBox()->lineEdit(), text);
    }
};

TEST_F(LoginDialog, SavedNamesAreListedSorted) {
    CLoginDlg dialog;
    ASSERT_EQ(dialog.NameBox()->count(), 3);
    EXPECT_EQ(dialog.NameBox()->itemText(0), "andrew");
    EXPECT_EQ(dialog.NameBox()->itemText(1), "anna");
    EXPECT_EQ(dialog.NameBox()->itemText(2), "bob");
    EXPECT_EQ(dialog.RememberedName(), "bob");
}

TEST_F(LoginDialog, TypingCompletesAndBackspaceDoesNotCompleteAgain) {
    CLoginDlg dialog;
    dialog.show();
    QLineEdit* edit = dialog.NameBox()->lineEdit();
    TypeName(dialog, "an");
    EXPECT_EQ(edit->text(), "andrew");
    EXPECT_EQ(edit->selectedText(), "drew");
    TypeName(dialog, "n");
    EXPECT_EQ(edit->text(), "anna");
    EXPECT_EQ(edit->selectedText(), "a");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "ann");
    EXPECT_EQ(edit->selectedText(), "");
    TypeName(dialog, "x");
    EXPECT_EQ(edit->text(), "annx");
}

TEST_F(LoginDialog, CompletionDropsTheListDownAtTheCompletedName) {
    CLoginDlg dialog;
    dialog.show();
    QAbstractItemView* list = dialog.NameList()->popup();
    TypeName(dialog, "a");
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->model()->rowCount(), 3); // every saved name is listed
    EXPECT_EQ(list->currentIndex().data().toString(), "andrew");
    TypeName(dialog, "nn");
    EXPECT_EQ(list->currentIndex().data().toString(), "anna");
    // Keys that reach the dropped list go on into the name box; Backspace
    // there still switches completion off.
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(dialog.NameBox()->lineEdit()->text(), "ann");
    QTest::keyClicks(list, "x");
    EXPECT_EQ(dialog.NameBox()->lineEdit()->text(), "annx");
    EXPECT_FALSE(list->isVisible()); // nothing begins with it
}

TEST_F(LoginDialog, ANameChosenInTheDroppedListIsTakenAndRemembered) {
    CLoginDlg dialog;
    dialog.show();
    QAbstractItemView* list = dialog.NameList()->popup();
    TypeName(dialog, "a");
    ASSERT_TRUE(list->isVisible());
    EXPECT_FALSE(dialog.RememberBox()->isChecked());
    list->setCurrentIndex(list->model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(dialog.NameBox()->currentText(), "bob");
    EXPECT_TRUE(dialog.RememberBox()->isChecked()); // bob is the remembered member
    EXPECT_TRUE(dialog.isVisible());                // choosing a name is not OK
}

TEST_F(LoginDialog, RememberBoxFollowsTheChosenName) {
    CLoginDlg dialog;
    dialog.show();
    EXPECT_FALSE(dialog.RememberBox()->isChecked());
    TypeName(dialog, "b");
    EXPECT_TRUE(dialog.RememberBox()->isChecked()); // completed to the remembered name
    dialog.NameBox()->setCurrentIndex(1);
    emit dialog.NameBox()->activated(1);
    EXPECT_FALSE(dialog.RememberBox()->isChecked());
    dialog.NameBox()->setCurrentIndex(2);
    emit dialog.NameBox()->activated(2);
    EXPECT_TRUE(dialog.RememberBox()->isChecked());
}

TEST_F(LoginDialog, UntickingForgetsTheRememberedMemberEvenWhenCancelled) {
    CLoginDlg dialog;
    dialog.show();
    TypeName(dialog, "bob");
    ASSERT_TRUE(dialog.RememberBox()->isChecked());
    QTest::mouseClick(dialog.RememberBox(), Qt::LeftButton);
    EXPECT_FALSE(dialog.RememberBox()->isChecked());
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(200, 120)); // Cancel
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    std::string user, password;
    EXPECT_FALSE(ReadRememberedMember(user, password));
    EXPECT_EQ(SavedUserNames().size(), 3u);
}

TEST_F(LoginDialog, PaintedButtonsAnswerInsideTheirRectanglesOnly) {
    qmtest::SetMachineSetting("AccountServer", "localhost:" + std::to_string(qmtest::FreePort()));
    CLoginDlg dialog;
    dialog.show();
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(165, 137));
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(250, 137));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(100, 113));
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u); // transfer error, verification, then the login error
    EXPECT_EQ(boxes[2], "Login Error|Error: ");
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(LoginDialog, DialogLoginSavesTheProfileAndRemembersWhenTicked) {
    CLoginDlg dialog;
    dialog.show();
    TypeName(dialog, "zoe");
    dialog.NameBox()->setEditText("anna");
    dialog.PasswordBox()->setText("secret");
    dialog.RememberBox()->setChecked(true);
    QTest::keyClick(dialog.PasswordBox(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_NE(dialog.LoginAnswer().find("|user|anna<BR>"), std::string::npos);
    std::string user, password;
    ASSERT_TRUE(ReadRememberedMember(user, password));
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(password, "secret");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LoginDialog, RefusedLoginShowsTheServersTextAndStaysOpen) {
    CLoginDlg dialog;
    dialog.show();
    dialog.NameBox()->setEditText("anna");
    dialog.PasswordBox()->setText("wrong");
    dialog.OnOK();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"Login Error|Error: Invalid user name or password"}));
    dialog.NameBox()->setEditText("upper-sid");
    dialog.PasswordBox()->setText("pw");
    dialog.OnOK();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].rfind("KOVARI|Could not verify server credentials.", 0), 0u);
    EXPECT_EQ(boxes[2], "Login Error|Error: Welcome");
    std::string user, password;
    ASSERT_TRUE(ReadRememberedMember(user, password));
    EXPECT_EQ(user, "bob"); // nothing saved
}

TEST_F(LoginDialog, RememberedMemberLogsInSilently) {
    WriteProfiles("anna~secret");
    int dialogs = 0;
    platform::SetDialogHandler([&](QDialog&) {
        ++dialogs;
        return int(QDialog::Rejected);
    });
    std::string answer;
    EXPECT_TRUE(RunLoginDialog(true, answer));
    EXPECT_NE(answer.find("|user|anna<BR>"), std::string::npos);
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(RunLoginDialog(false, answer)); // switching member: always the dialog
    EXPECT_EQ(dialogs, 1);
    WriteProfiles("anna~wrong");
    EXPECT_FALSE(RunLoginDialog(true, answer)); // a failed saved log-in leads to the dialog
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(Boxes().empty());
    platform::SetDialogHandler({});
}

TEST_F(LoginDialog, RememberedTextIsSplitAtTheFirstTilde) {
    std::string user, password;
    WriteProfiles("bob~");
    ASSERT_TRUE(ReadRememberedMember(user, password));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(password, "");
    WriteProfiles("nopassword");
    ASSERT_TRUE(ReadRememberedMember(user, password));
    EXPECT_EQ(user, "");
    EXPECT_EQ(password, "nopassword");
    WriteProfiles("a~b~c");
    ASSERT_TRUE(ReadRememberedMember(user, password));
    EXPECT_EQ(password, "b~c");
    WriteProfiles(std::string(50, 'x'));
    EXPECT_FALSE(ReadRememberedMember(user, password));
}

TEST_F(LoginDialog, SkinGivesTheOutlineAndAMissingSkinNone) {
    {
        CLoginDlg bare;
        EXPECT_FALSE(bare.HasOutline());
    }
    std::filesystem::create_directories(installation.InstallDir() + "/resources");
    std::filesystem::copy_file(SkinFile(), installation.InstallDir() + "/resources/login.bmp");
    CLoginDlg skinned;
    ASSERT_TRUE(skinned.HasOutline());
    EXPECT_FALSE(skinned.mask().contains(QPoint(0, 0)));    // a transparent corner
    EXPECT_TRUE(skinned.mask().contains(QPoint(130, 120))); // inside the OK button
    // Nothing is drawn outside the outline, which is all a Wayland compositor
    // goes by (it takes a mask for input only).
    QImage shown = skinned.grab().toImage();
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(shown.pixel(130, 120)), 255);
    EXPECT_TRUE(kOkButton.contains(QPoint(100, 113)));
    EXPECT_FALSE(kOkButton.contains(QPoint(165, 137)));
}

TEST(BitmapRegion, ManyRunsStillCoverEveryVisiblePixel) {
    QImage image(301, 200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            bool hole = (x + y) % 3 == 0;
            image.setPixel(x, y, hole ? qRgb(255, 0, 255) : qRgb(10, x % 256, y % 256));
        }
    }
    QRegion region = BitmapToRegion(image, qRgb(255, 0, 255), true); // about 20000 runs
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(region.contains(QPoint(x, y)), (x + y) % 3 != 0) << x << "," << y;
        }
    }
    QRegion keyOnly = BitmapToRegion(image, qRgb(255, 0, 255), false);
    EXPECT_TRUE(keyOnly.contains(QPoint(0, 0)));
    EXPECT_FALSE(keyOnly.contains(QPoint(1, 0)));
    EXPECT_TRUE(BitmapToRegion(QImage(), qRgb(255, 0, 255), true).isEmpty());
}

} // namespace
