#include "installer/kovinst/incompatible_products_dlg.h"
#include "installer/kovinst/setup_installer.h"
#include "platform/qt/message_box.h"
#include "tests/installer/catalog_fixture.h"
#include "tests/support/qt_app.h"

#include <QLabel>
#include <QPushButton>

namespace {

using namespace qmtest;

class Incompatible : public CatalogTest {
  protected:
    void SetUp() override {
        App();
        platform::SetDialogHandler([this](QDialog& dialog) {
            captions.push_back(dialog.windowTitle().toStdString());
            dialog.show(); // fills the report as the real run does
            auto* report = dialog.findChild<QLabel*>("reportText");
            reports.push_back(report ? report->text().toStdString() : "<no report>");
            dialog.hide();
            return int(QDialog::Accepted);
        });
    }
    void TearDown() override { platform::SetDialogHandler(nullptr); }

    CSetupInstaller installer;
    std::vector<std::string> captions;
    std::vector<std::string> reports;
};

TEST_F(Incompatible, WholeNamesMatchWithoutRegardToCaseAndAreReported) {
    Add(Record("mcafee_gdlsp", LAYERED_PROTOCOL));
    Add(Record("McAfee_GdLsp over MSAFD Tcpip [TCP/IP]", 2), "libvendor.so", {1001, 1001});
    auto before = Names();
    EXPECT_EQ(installer.install(), INSTALL_INCOMPATIBLE);
    EXPECT_EQ(Names(), before);
    EXPECT_FALSE(HasValue("1"));
    ASSERT_EQ(captions.size(), 1u);
    EXPECT_EQ(captions[0], "Incompatible Products Report");
    EXPECT_EQ(reports[0], "McAfee Internet Security - http://www.internet-security.example "
                          "(1-800-555-0147)\n");
}

TEST_F(Incompatible, EveryMatchingEntryIsListedInCatalogOrder) {
    Add(Record("SAHAgent", LAYERED_PROTOCOL));
    Add(Record("BSafe Layered Service Provider", LAYERED_PROTOCOL));
    Add(Record("Ashley Laurent CSSP Provider", LAYERED_PROTOCOL));
    Add(Record("SAHAgent", LAYERED_PROTOCOL));
    EXPECT_EQ(installer.install(), INSTALL_INCOMPATIBLE);
    std::string bsafe =
        "American Family Filter/BSafe - http://www.bsafe-filter.example (1-800-555-0143)\n";
    std::string sah = "ShopAtHome/Golden Retriever - http://www.shopathome-help.example/faq.htm\n";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], sah + bsafe + bsafe + sah);
}

TEST_F(Incompatible, OursAlreadyInstalledWinsInEitherOrderAndShowsNothing) {
    Add(Record("PCLSP", LAYERED_PROTOCOL));
    Add(Record("QUELLMARK", LAYERED_PROTOCOL));
    EXPECT_EQ(installer.scanCatalog(), 1);
    EXPECT_EQ(installer.install(), INSTALL_ALREADY_INSTALLED);
    EXPECT_TRUE(captions.empty());
}

TEST_F(Incompatible, OursBeforeTheIncompatibleProductAlsoGives10) {
    Add(Record("Quellmark", LAYERED_PROTOCOL));
    Add(Record("webhancer", LAYERED_PROTOCOL));
    EXPECT_EQ(installer.install(), INSTALL_ALREADY_INSTALLED);
    EXPECT_TRUE(captions.empty());
}

TEST_F(Incompatible, OurOwnChainNamesDoNotCountAsInstalled) {
    Add(Record("Quellmark over MSAFD Tcpip [TCP/IP]", 2), "libZUL.so", {1001, 1001});
    EXPECT_EQ(installer.scanCatalog(), 0);
}

TEST(IncompatibleDialog, ShowsTheTextsAndClosesWithOk) {
    App();
    CIncompatibleProductsDlg dialog;
    dialog.m_report = "New.net - x\n";
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Incompatible Products Report");
    EXPECT_EQ(dialog.findChild<QLabel*>("reportText")->text(), "New.net - x\n");
    EXPECT_EQ(dialog.findChild<QLabel*>("closingText")->text(),
              "Installation of Orvane is unable to continue.  Once the product(s) listed above "
              "have been removed installation can be attempted again.");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);
    dialog.findChild<QPushButton*>("okButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
