// The real service's tray icon as a StatusNotifierItem, on a private session
// bus (dbus-run-session) with Debian's status-notifier-watcher, on Xvfb. This
// test process registers itself as the host and asks the item and its
// exported menu what a host asks.

#include "platform/presence.h"
#include "tests/support/bus_program.h"
#include "tests/support/desktop_platform.h"
#include "tests/support/family_servers.h"
#include "tests/support/kovari_process.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString Watcher(const QString& property) {
    return Run("gdbus",
               {"call", "--session", "--dest", "org.kde.StatusNotifierWatcher", "--object-path",
                "/StatusNotifierWatcher", "--method", "org.freedesktop.DBus.Properties.Get",
                "org.kde.StatusNotifierWatcher", property});
}

// The registered item as bus name and object path, once there is one.
struct Item {
    QString service;
    QString path;
};

bool FindItem(Item& item) {
    QRegularExpressionMatch m =
        QRegularExpression("'([^'/]+)(/[^']*)?'").match(Watcher("RegisteredStatusNotifierItems"));
    if (!m.hasMatch()) {
        return false;
    }
    item.service = m.captured(1);
    item.path = m.captured(2).isEmpty() ? "/StatusNotifierItem" : m.captured(2);
    return true;
}

QString Call(const Item& item, const QString& path, const QString& method,
             const QStringList& arguments = {}) {
    return Run("gdbus", QStringList{"call", "--session", "--dest", item.service, "--object-path",
                                    path, "--method", method} +
                            arguments);
}

QString ItemProperty(const Item& item, const QString& name) {
    return Call(item, item.path, "org.freedesktop.DBus.Properties.Get",
                {"org.kde.StatusNotifierItem", name});
}

// The exported menu as a host draws it: asked to prepare, then its layout.
Items Menu(const Item& item) {
    QRegularExpressionMatch path =
        QRegularExpression("objectpath '([^']+)'").match(ItemProperty(item, "Menu"));
    if (!path.hasMatch()) {
        return {"no menu"};
    }
    Call(item, path.captured(1), "com.canonical.dbusmenu.AboutToShow", {"0"});
    QString layout =
        Call(item, path.captured(1), "com.canonical.dbusmenu.GetLayout", {"--", "0", "-1", "[]"});
    Items labels;
    QRegularExpressionMatchIterator it =
        QRegularExpression("'label': <'([^']*)'>").globalMatch(layout);
    while (it.hasNext()) {
        labels.push_back(it.next().captured(1).toStdString());
    }
    return labels;
}

// Clicks a menu item as the host does when the person picks it.
void Click(const Item& item, const std::string& label) {
    QString path =
        QRegularExpression("objectpath '([^']+)'").match(ItemProperty(item, "Menu")).captured(1);
    Call(item, path, "com.canonical.dbusmenu.AboutToShow", {"0"});
    QString layout = Call(item, path, "com.canonical.dbusmenu.GetLayout", {"--", "0", "-1", "[]"});
    QString id =
        QRegularExpression("\\((\\d+), \\{[^}]*'label': <'" +
                           QRegularExpression::escape(QString::fromStdString(label)) + "'>")
            .match(layout)
            .captured(1);
    Call(item, path, "com.canonical.dbusmenu.Event", {"--", id, "clicked", "<0>", "0"});
}

bool AdministratorShown() {
    return Run("xwininfo", {"-name", "Filter Administrator"}).contains("IsViewable");
}

// The real service with its tray icon on the test's display and bus.
class StatusNotifierItem : public ::testing::Test {
  protected:
    void Start(const std::map<std::string, std::string>& extraEnv) {
        auto env = extraEnv;
        env["QT_QPA_PLATFORM"] = qmtest::DesktopPlatform();
        service.emplace(installation, env);
        ASSERT_TRUE(service->WaitUntilPresent());
        ASSERT_TRUE(QTest::qWaitFor([&] { return FindItem(item); }, 10000));
    }
    void TearDown() override {
        if (service) {
            service->Stop();
        }
        // The watcher forgets the item whose bus name is gone.
        EXPECT_TRUE(QTest::qWaitFor(
            [] {
                Item gone;
                return !FindItem(gone);
            },
            10000));
    }

    qmtest::Installation installation;
    bool settings = (installation.WriteSettings(2), true);
    qmtest::InstallationEnvironment environment{installation};
    std::optional<qmtest::KovariProcess> service;
    Item item;
};

TEST_F(StatusNotifierItem, ActivationOpensTheAdministratorAndTheMenuFollowsALogin) {
    Start({}); // the login dialog is answered "cancel"
    EXPECT_TRUE(ItemProperty(item, "ToolTip").contains("'Quellmark'"))
        << ItemProperty(item, "ToolTip").toStdString();
    EXPECT_EQ(Menu(item), (Items{"Open Administrator", "Login"}));
    EXPECT_FALSE(AdministratorShown());
    Call(item, item.path, "org.kde.StatusNotifierItem.Activate", {"0", "0"});
    EXPECT_TRUE(QTest::qWaitFor(AdministratorShown, 5000));
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1124, 0, 0)); // a cancelled login
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Menu(item) == Items{"Login", "Open Administrator"};
        },
        5000))
        << Menu(item).size();
}

TEST_F(StatusNotifierItem, MenuItemsPickedInTheHostSendTheirCommands) {
    Start({});
    Click(item, "Open Administrator");
    EXPECT_TRUE(QTest::qWaitFor(AdministratorShown, 5000));
    Click(item, "Login"); // a cancelled login
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Menu(item) == Items{"Login", "Open Administrator"};
        },
        5000));
}

// Desktops without a tray reach the window through the menu entry, which
// starts a second KOVARI with --administrator: it asks the copy that runs and ends.
TEST_F(StatusNotifierItem, AdministratorOptionOpensTheWindowOfTheCopyThatRuns) {
    Start({});
    EXPECT_FALSE(AdministratorShown());
    QProcess second;
    second.start(QString::fromStdString(qmtest::BuiltFile("KOVARI")), {"--administrator"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor(AdministratorShown, 5000));
    EXPECT_TRUE(service->Running());
}

TEST_F(StatusNotifierItem, MenuWhileTheLoginDialogIsOpen) {
    Start({{"QUELLMARK_DIALOG_ANSWER", ""}}); // a real dialog nobody answers
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1124, 0, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Menu(item) == Items{"Open Administrator"}; }, 5000))
        << ::testing::PrintToString(Menu(item));
}

TEST_F(StatusNotifierItem, MenuOfALoggedInMemberWithThePopupBlockerOn) {
    qmtest::FamilyServers family(installation.RegistryDir());
    ASSERT_TRUE(family.Ready());
    Start({});
    ASSERT_TRUE(qmtest::LogInRememberedMember());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Menu(item) == Items{"Popup Blocker Settings...", "Disable Popup Blocker",
                                       "Switch User", "Logout: anna", "Open Administrator"};
        },
        5000));
}

// The watcher, and this process registered as the host that shows the items.
class Desktop {
  public:
    Desktop() : watcher_("status-notifier-watcher", "org.kde.StatusNotifierWatcher") {
        QString host =
            QString("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid());
        QDBusInterface watcher("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                               "org.kde.StatusNotifierWatcher");
        ready_ =
            watcher_.Ready() && QDBusConnection::sessionBus().registerService(host) &&
            watcher.call("RegisterStatusNotifierHost", host).type() != QDBusMessage::ErrorMessage;
    }
    bool Ready() const { return ready_; }

  private:
    qmtest::BusProgram watcher_;
    bool ready_ = false;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    Desktop desktop;
    if (!desktop.Ready()) {
        std::fprintf(stderr, "status_notifier_tests: no watcher on the session bus\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
