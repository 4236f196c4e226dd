// The setup library inside a host program that has no Qt application object of
// its own: one is made for the report dialog and gone afterwards; with no
// display at all the report is written to standard error instead.

#include "installer/kovinst/setup_installer.h"
#include "platform/qt/message_box.h"
#include "tests/installer/catalog_fixture.h"

#include <QApplication>
#include <QDialog>

namespace {

using namespace qmtest;

class KovinstApplication : public CatalogTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
        Add(Record("vMain", LAYERED_PROTOCOL));
        platform::SetDialogHandler([this](QDialog& dialog) {
            sawApplication = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
            captions.push_back(dialog.windowTitle().toStdString());
            return int(QDialog::Accepted);
        });
    }
    void TearDown() override { platform::SetDialogHandler(nullptr); }

    CSetupInstaller installer;
    bool sawApplication = false;
    std::vector<std::string> captions;
};

TEST_F(KovinstApplication, OneIsMadeForTheDialogAndGoneAfterwards) {
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    EXPECT_EQ(installer.install(), INSTALL_INCOMPATIBLE);
    EXPECT_EQ(captions, std::vector<std::string>{"Incompatible Products Report"});
    EXPECT_TRUE(sawApplication);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

TEST_F(KovinstApplication, WithoutAnyDisplayTheReportGoesToStandardError) {
    ScopedEnv platform("QT_QPA_PLATFORM", "");
    ScopedEnv display("DISPLAY", "");
    ScopedEnv wayland("WAYLAND_DISPLAY", "");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(installer.install(), INSTALL_INCOMPATIBLE);
    std::string output = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(output,
              "Incompatible Products Report\nNewton Knows - http://www.newtonknows.example\n");
    EXPECT_TRUE(captions.empty());
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

} // namespace
