#include "common/text.h"
#include "installer/auth_codes.h"
#include "installer/kovdiag/control_ids.h"
#include "installer/kovdiag/diag_app.h"
#include "installer/kovdiag/provider_properties_dlg.h"
#include "installer/kovdiag/unlock_code_dlg.h"
#include "installer/kovdiag/winsock_diag_dlg.h"
#include "platform/qt/message_box.h"
#include "tests/installer/catalog_fixture.h"
#include "tests/support/qt_app.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <memory>

namespace {

using namespace qmtest;
using namespace kovdiag;

template <typename T> T* Control(QWidget& parent, int id) {
    T* control = parent.findChild<T*>(ControlName(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

class Kovdiag : public CatalogTest {
  protected:
    void SetUp() override {
        App();
        platform::SetMessageBoxHandler(
            [this](const std::string& caption, const std::string& text, UINT) {
                boxes.push_back(caption + ": " + text);
                return platform::IDOK;
            });
        platform::SetDialogHandler([this](QDialog& dialog) { return Handle(dialog); });
        OpenRun();
    }
    void TearDown() override {
        dialog.reset();
        platform::SetMessageBoxHandler(nullptr);
        platform::SetDialogHandler(nullptr);
    }

    // A new run of the program: a new application object and main dialog.
    void OpenRun() {
        dialog.reset();
        app = std::make_unique<CDiagApp>();
        dialog = std::make_unique<CWinsockDiagDlg>(*app);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    // Types the next code into the unlock dialog (an empty one presses Cancel);
    // hands a properties dialog to the test's action.
    int Handle(QDialog& shown) {
        shown.show();
        if (dynamic_cast<CUnlockCodeDlg*>(&shown)) {
            ++unlockAsked;
            std::string code = codes.empty() ? "" : codes.front();
            if (!codes.empty()) {
                codes.pop_front();
            }
            Control<QLineEdit>(shown, IDC_UNLOCK_CODE)->setText(QString::fromStdString(code));
            QTest::mouseClick(
                shown.findChild<QPushButton*>(code.empty() ? "cancelButton" : "okButton"),
                Qt::LeftButton);
        } else if (auto* properties = dynamic_cast<CProviderPropertiesDlg*>(&shown)) {
            onProperties(*properties);
        }
        shown.hide();
        return shown.result();
    }

    void Click(int id) { QTest::mouseClick(Control<QPushButton>(*dialog, id), Qt::LeftButton); }

    QTreeWidget& Tree() { return *dialog->tree(); }

    std::vector<std::string> RootNames() {
        std::vector<std::string> names;
        for (int i = 0; i < Tree().topLevelItemCount(); ++i) {
            names.push_back(Tree().topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }

    QTreeWidgetItem* RootNamed(const std::string& name) {
        auto found = Tree().findItems(QString::fromStdString(name), Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << name;
        return found.empty() ? nullptr : found.front();
    }

    void DoubleClick(QTreeWidgetItem* item) {
        Tree().scrollToItem(item);
        QCoreApplication::processEvents(); // lays out a freshly filled tree
        QPoint at = Tree().visualItemRect(item).center();
        QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
    }

    static std::string TodaysCode() { return qm::UnlockCode(std::time(nullptr)); }

    std::unique_ptr<CDiagApp> app;
    std::unique_ptr<CWinsockDiagDlg> dialog;
    std::vector<std::string> boxes;
    std::deque<std::string> codes;
    int unlockAsked = 0;
    std::function<void(CProviderPropertiesDlg&)> onProperties = [](CProviderPropertiesDlg&) {};
};

TEST_F(Kovdiag, TreeShowsTheCatalogWithoutNetbiosAndUnfoldsChainsTopFirst) {
    EXPECT_EQ(dialog->windowTitle(), "Winsock Diagnostics (Version 2.3)");
    EXPECT_EQ(RootNames(),
              (std::vector<std::string>{"MSAFD Tcpip [TCP/IP]", "MSAFD Tcpip [UDP/IP]",
                                        "MSAFD Tcpip [RAW/IP]", "MSAFD Tcpip [TCP/IPv6]",
                                        "MSAFD Tcpip [UDP/IPv6]", "RSVP TCP Service Provider",
                                        "RSVP UDP Service Provider"}));
    EXPECT_EQ(RootNamed("MSAFD Tcpip [TCP/IP]")->childCount(), 0);

    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    ASSERT_EQ(Tree().topLevelItemCount(), 12);
    QTreeWidgetItem* chain = Tree().topLevelItem(1);
    EXPECT_EQ(chain->text(0), "Quellmark over MSAFD Tcpip [TCP/IP]");
    ASSERT_EQ(chain->childCount(), 2);
    EXPECT_EQ(chain->child(0)->text(0), "Quellmark");
    EXPECT_EQ(chain->child(1)->text(0), "MSAFD Tcpip [TCP/IP]");
}

TEST_F(Kovdiag, TheUnlockCodeIsAskedOncePerRun) {
    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    Click(IDC_UNINSTALL);
    Click(IDC_INSTALL);
    EXPECT_EQ(unlockAsked, 1);
    EXPECT_TRUE(boxes.empty());
    OpenRun();
    codes = {TodaysCode()};
    Click(IDC_UNINSTALL);
    EXPECT_EQ(unlockAsked, 2);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Tree().topLevelItemCount(), 7);
}

TEST_F(Kovdiag, UpperCaseWrongAndCancelledCodesAreRefused) {
    std::string upper = qm::ToUpper(TodaysCode());
    codes = {upper == TodaysCode() ? "0000000000" : upper, "wrong", ""};
    for (int i = 0; i < 3; ++i) {
        Click(IDC_INSTALL);
    }
    EXPECT_EQ(boxes, std::vector<std::string>(3, "Unlock Code Error: Invalid Diagnostic Code"));
    EXPECT_EQ(Names().size(), 8u);
    EXPECT_FALSE(app->m_unlocked);
}

TEST_F(Kovdiag, InstallingTwiceShowsError10AndLeavesTheTree) {
    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    auto before = RootNames();
    Add(Record("Added behind the tool's back", LAYERED_PROTOCOL));
    Click(IDC_INSTALL);
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Install Error: Error: 10 ocurred while trying to install."});
    EXPECT_EQ(RootNames(), before);
}

TEST_F(Kovdiag, IncompatibleProductsStopTheInstallButShopAtHomeDoesNot) {
    Add(Record("SAHAgent", LAYERED_PROTOCOL));
    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    EXPECT_TRUE(boxes.empty());
    Click(IDC_UNINSTALL);
    Add(Record("pclsp", LAYERED_PROTOCOL));
    Click(IDC_INSTALL);
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "kovdiag: There is an incompatiable product already installed.",
                         "Install Error: Error: 11 ocurred while trying to install."}));
}

TEST_F(Kovdiag, UninstallOfAMissingEntryShowsError200) {
    codes = {TodaysCode()};
    Click(IDC_UNINSTALL);
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Uninstall Error: Error: 200 ocurred while trying to uninstall."});
}

TEST_F(Kovdiag, PropertiesShowTheEntryAndOnlyOurEntriesCanBeRemoved) {
    bool enabled = true;
    std::vector<std::string> fields;
    onProperties = [&](CProviderPropertiesDlg& properties) {
        EXPECT_EQ(properties.windowTitle(), "LSP Properties");
        for (int id :
             {IDC_PROVIDER_ID, IDC_CATALOG_ENTRY_ID, IDC_CHAIN_LENGTH, IDC_PROTOCOL_NAME}) {
            fields.push_back(Control<QLineEdit>(properties, id)->text().toStdString());
        }
        enabled = Control<QPushButton>(properties, IDC_UNINSTALL)->isEnabled();
        // The whole provider id fits in its field (frame and QLineEdit's margins included).
        QLineEdit* id = Control<QLineEdit>(properties, IDC_PROVIDER_ID);
        int frame = id->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, id);
        EXPECT_GE(id->width(), id->fontMetrics().horizontalAdvance(id->text()) + 2 * frame + 4);
        QTest::mouseClick(properties.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    };
    DoubleClick(RootNamed("MSAFD Tcpip [TCP/IP]"));
    EXPECT_EQ(fields, (std::vector<std::string>{"{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}", "1001",
                                                "1", "MSAFD Tcpip [TCP/IP]"}));
    EXPECT_FALSE(enabled);

    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    fields.clear();
    DoubleClick(RootNamed("Quellmark over MSAFD Tcpip [TCP/IP]"));
    EXPECT_TRUE(enabled);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[2], "2");
}

TEST_F(Kovdiag, RemovingOneEntryRepairsChainsOverItAndKeepsTheValues) {
    codes = {TodaysCode()};
    Click(IDC_INSTALL);
    WSAPROTOCOL_INFOW ours = EntryNamed("Quellmark over MSAFD Tcpip [TCP/IP]");
    DWORD vendorLayer = Add(Record("Vendor Layer", LAYERED_PROTOCOL));
    Add(Record("Vendor over Quellmark", 3), "libvendor.so",
        {vendorLayer, ours.dwCatalogEntryId, 1001});
    GUID recorded = Value("2.1");
    ASSERT_EQ(recorded, ours.ProviderId);
    Tree().setFocus();
    QTest::keyClick(&Tree(), Qt::Key_F5);
    ASSERT_NE(RootNamed("Vendor over Quellmark"), nullptr);

    onProperties = [](CProviderPropertiesDlg& properties) {
        QTest::mouseClick(Control<QPushButton>(properties, IDC_UNINSTALL), Qt::LeftButton);
        EXPECT_EQ(properties.result(), QDialog::Accepted);
    };
    DoubleClick(RootNamed("Quellmark over MSAFD Tcpip [TCP/IP]"));
    EXPECT_TRUE(boxes.empty());
    auto names = Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Quellmark over MSAFD Tcpip [TCP/IP]"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Quellmark over MSAFD Tcpip [TCP/IPv6]"), 1);
    EXPECT_EQ(ChainOf(EntryNamed("Vendor over Quellmark")),
              (std::vector<DWORD>{vendorLayer, 1001}));
    EXPECT_EQ(Value("2.1"), recorded);
    // The tree was refilled.
    EXPECT_TRUE(Tree().findItems("Quellmark over MSAFD Tcpip [TCP/IP]", Qt::MatchExactly).empty());

    // The same entry, gone meanwhile, cannot be removed again.
    Add(Record("Quellmark over gone", 2), "libZUL.so", {1001, 1001});
    QTest::keyClick(&Tree(), Qt::Key_F5);
    QTreeWidgetItem* gone = RootNamed("Quellmark over gone");
    int error = 0;
    GUID goneId = EntryNamed("Quellmark over gone").ProviderId;
    ASSERT_EQ(WSCDeinstallProvider(&goneId, &error), 0);
    DoubleClick(gone);
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Uninstall Error: Error: 200 ocurred while trying to uninstall."});
}

class DebugLevel : public Kovdiag {
  protected:
    static void Store(DWORD level) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "DebugLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), 4);
        RegCloseKey(key);
    }
    static DWORD Stored() {
        HKEY key = nullptr;
        DWORD level = 99, size = 4, type = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings", 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            RegQueryValueExA(key, "DebugLevel", nullptr, &type, reinterpret_cast<BYTE*>(&level),
                             &size);
            RegCloseKey(key);
        }
        return level;
    }
    std::vector<bool> Checked() {
        std::vector<bool> checked;
        for (int id : {IDC_DEBUG_OFF, IDC_DEBUG_HIGH, IDC_DEBUG_MEDIUM, IDC_DEBUG_LOW}) {
            checked.push_back(Control<QRadioButton>(*dialog, id)->isChecked());
        }
        return checked;
    }
};

TEST_F(DebugLevel, NothingStoredShowsOffAndEscapeStoresNothing) {
    EXPECT_EQ(Checked(), (std::vector<bool>{true, false, false, false}));
    Control<QRadioButton>(*dialog, IDC_DEBUG_LOW)->click();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Stored(), 99u);
}

TEST_F(DebugLevel, StoredLevelsSelectTheirButtonAndDoneWritesTheChoice) {
    Store(2);
    OpenRun();
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, true, false}));
    Control<QRadioButton>(*dialog, IDC_DEBUG_HIGH)->click();
    Click(IDOK_DONE);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored(), 3u);
    Store(1);
    OpenRun();
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, false, true}));
}

TEST_F(DebugLevel, AnUnknownLevelShowsNoButtonAndDoneWritesOff) {
    Store(7);
    OpenRun();
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, false, false}));
    Click(IDOK_DONE);
    EXPECT_EQ(Stored(), 0u);
    EXPECT_EQ(Tree().topLevelItemCount(), 0); // the items went with the dialog
}

} // namespace
