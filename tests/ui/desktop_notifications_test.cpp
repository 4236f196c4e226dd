// Notifications through the desktop's notification service where the window
// cannot be placed (Xvfb without a taskbar strip, or Wayland): a private session bus
// (dbus-run-session) with Debian's notification-daemon, watched with
// dbus-monitor, for messages shown in this process and by the real service.

#include "tests/support/bus_program.h"
#include "tests/support/channel_client.h"
#include "tests/support/desktop_platform.h"
#include "tests/support/kovari_process.h"
#include "ui/notify_dlg.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// What reached the notification service, in order: "Notify|body|expiry"
// for each message sent and "Closed" for each one it reported closed; and the
// number the service gave the last message.
class BusWatch {
  public:
    BusWatch() {
        monitor_.start("dbus-monitor", {"--session", "interface='org.freedesktop.Notifications'",
                                        "type='method_return'"});
        monitor_.waitForStarted();
        QTest::qWait(300); // the monitor is in place
    }
    ~BusWatch() {
        monitor_.kill();
        monitor_.waitForFinished();
    }

    std::vector<std::string> Events() {
        text_ += QString::fromUtf8(monitor_.readAllStandardOutput());
        std::vector<std::string> events;
        QRegularExpression notify(
            "member=Notify\\n(?:\\s+\\S+ [^\\n]*\\n){3}\\s+string \"[^\"]*\"\\n\\s+string "
            "\"([^\"]*)\"\\n(?:.*\\n)*?\\s+int32 (-?\\d+)");
        QRegularExpression any("member=(Notify|NotificationClosed)");
        QRegularExpressionMatchIterator it = any.globalMatch(text_);
        while (it.hasNext()) {
            QRegularExpressionMatch m = it.next();
            if (m.captured(1) == "NotificationClosed") {
                events.push_back("Closed");
                continue;
            }
            QRegularExpressionMatch call = notify.match(text_, m.capturedStart());
            events.push_back(
                call.hasMatch() && call.capturedStart() == m.capturedStart()
                    ? ("Notify|" + call.captured(1) + "|" + call.captured(2)).toStdString()
                    : std::string("Notify|?"));
        }
        return events;
    }

    QString LastId() {
        Events();
        QRegularExpression call("member=Notify\\n");
        QRegularExpressionMatch last;
        for (auto it = call.globalMatch(text_); it.hasNext();) {
            last = it.next();
        }
        if (!last.hasMatch()) {
            return QString();
        }
        int start = text_.lastIndexOf("serial=", last.capturedStart());
        QString serial = QRegularExpression("serial=(\\d+)").match(text_, start).captured(1);
        QRegularExpressionMatch reply =
            QRegularExpression("reply_serial=" + serial + "\\n\\s+uint32 (\\d+)").match(text_);
        return reply.captured(1);
    }

  private:
    QProcess monitor_;
    QString text_;
};

TEST(DesktopNotifications, QueuedMessagesFollowWhenTheDisplayTimeIsOver) {
    BusWatch bus;
    CNotifyDlg notify;
    QElapsedTimer clock;
    clock.start();
    notify.Show(400, "User <B>anna</B><BR>has sucessfully logged in.");
    notify.Show(300, "Orvane has logged<BR>out due to inactivity.");
    EXPECT_EQ(notify.Window(), nullptr);
    EXPECT_TRUE(notify.ShownByDesktop());
    std::vector<std::string> expected = {"Notify|User anna\nhas sucessfully logged in.|400",
                                         "Notify|Orvane has logged\nout due to inactivity.|300"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Events() == expected; }, 5000))
        << ::testing::PrintToString(bus.Events());
    // The second waited for the first one's time (Qt timers may fire a little early).
    EXPECT_GE(clock.elapsed(), 350);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notify.ShownByDesktop(); }, 5000));
}

TEST(DesktopNotifications, AMessageWithoutTimeWaitsUntilClosed) {
    BusWatch bus;
    CNotifyDlg notify;
    notify.Show(0, "Message from the <B>account server</B>");
    notify.Show(300, "User <B>anna</B><BR>has sucessfully logged in.");
    std::vector<std::string> first = {"Notify|Message from the account server|0"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Events() == first; }, 5000));
    QTest::qWait(600);
    EXPECT_EQ(bus.Events(), first); // the second waits
    QString id = bus.LastId();
    ASSERT_FALSE(id.isEmpty());
    QProcess::execute("gdbus", {"call", "--session", "--dest", "org.freedesktop.Notifications",
                                "--object-path", "/org/freedesktop/Notifications", "--method",
                                "org.freedesktop.Notifications.CloseNotification", id});
    std::vector<std::string> both = {first[0], "Closed",
                                     "Notify|User anna\nhas sucessfully logged in.|300"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Events() == both; }, 5000))
        << ::testing::PrintToString(bus.Events());
}

TEST(DesktopNotifications, TheRealServiceReportsARefusedProgram) {
    BusWatch bus;
    qmtest::Installation installation;
    installation.WriteSettings(0);
    qmtest::KovariProcess service(installation, {{"QT_QPA_PLATFORM", qmtest::DesktopPlatform()}});
    ASSERT_TRUE(service.WaitUntilListening());
    qmtest::ChannelClient client;
    ASSERT_EQ(client.Ask(qmtest::ApplicationRequest("AB:80,aim.exe"), 4), "AB:Y");
    std::vector<std::string> expected = {"Notify|AOL Instant Messenger\nhas been blocked!|5000"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Events() == expected; }, 5000))
        << ::testing::PrintToString(bus.Events());
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    // Debian's notification daemon on the test's bus and display; it draws
    // with X only, through Xwayland on a Wayland desktop.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains("QM_TEST_XWAYLAND_DISPLAY")) {
        environment.insert("DISPLAY", environment.value("QM_TEST_XWAYLAND_DISPLAY"));
        environment.insert("GDK_BACKEND", "x11");
    }
    qmtest::BusProgram daemon("/usr/lib/notification-daemon/notification-daemon",
                              "org.freedesktop.Notifications", environment);
    if (!daemon.Ready()) {
        std::fprintf(stderr, "desktop_notifications_tests: no notification daemon on the bus\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
