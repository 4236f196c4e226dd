// The tray icon on a real X display: wanted while no tray host runs, it is
// added as soon as one appears.

#include "ui/system_tray.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A tray host on the test's display, ended with the test.
class TrayHost {
  public:
    TrayHost() {
        process_.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "request",
                                  "--height", "28"});
    }
    ~TrayHost() {
        process_.kill();
        process_.waitForFinished();
    }
    bool Started() { return process_.waitForStarted(); }

  private:
    QProcess process_;
};

TEST(TrayHostAppearing, TheWantedIconIsAddedWhenATrayHostAppears) {
    ASSERT_STREQ(qgetenv("QT_QPA_PLATFORM").constData(), "xcb");
    CSystemTray tray;
    EXPECT_FALSE(
        tray.Create(nullptr, 0x8001, "Quellmark", LoadTrayIcon(IDI_TRAY_LOGGED_OUT), 130, false));
    EXPECT_TRUE(tray.Pending());
    EXPECT_TRUE(tray.Hidden());
    TrayHost host;
    ASSERT_TRUE(host.Started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.Pending(); }, 15000));
    EXPECT_FALSE(tray.Hidden());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.IconGeometry().isEmpty(); }, 5000));
}

} // namespace
