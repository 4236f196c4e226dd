// The service's windows under a real window manager (openbox) on Xvfb, with an
// XEmbed tray host (trayer) along the bottom edge reserving its strip of the
// screen: the boxes the window manager offers, where the notification window's
// whole frame lands, and the administrator window brought back from minimised.

#include "service/app.h"
#include "service/main_frame.h"
#include "tests/support/kovari_process.h"
#include "ui/notify_dlg.h"
#include "ui/tray_animation.h"

#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace {

CPCAppApp& App() {
    return *CPCAppApp::Current();
}

CMainFrame& Frame() {
    return *App().MainFrame();
}

// One property of a window as the X server holds it (xprop's text).
QString Property(const QWidget& window, const char* name) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window.winId()), name});
    xprop.waitForFinished();
    return QString::fromLocal8Bit(xprop.readAllStandardOutput());
}

// The window's whole outer rectangle: its client area and the frame the
// window manager put around it (_NET_FRAME_EXTENTS: left, right, top, bottom).
QRect OuterFrame(const QWidget& window) {
    QRegularExpression numbers("= (\\d+), (\\d+), (\\d+), (\\d+)");
    QRegularExpressionMatch m = numbers.match(Property(window, "_NET_FRAME_EXTENTS"));
    if (!m.hasMatch()) {
        return QRect();
    }
    return window.geometry().adjusted(-m.captured(1).toInt(), -m.captured(3).toInt(),
                                      m.captured(2).toInt(), m.captured(4).toInt());
}

bool ShownNormally(const QWidget& window) {
    return Property(window, "WM_STATE").contains("Normal") &&
           !Property(window, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN");
}

TEST(WindowManager, AdministratorWindowOffersNeitherMinimiseNorMaximise) {
    Frame().WindowProc(WM_COMMAND, ID_OPEN_ADMINISTRATOR, 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return ShownNormally(Frame()); }, 5000));
    QString actions = Property(Frame(), "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_MINIMIZE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_MAXIMIZE")) << actions.toStdString();
    Frame().close();
}

TEST(WindowManager, NotificationIsAToolWindowWhoseFrameSitsTwoPixelsOffTheTaskbar) {
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(work.bottom(), screen.bottom()) << "the tray host reserves the bottom strip";
    App().NotifyDlg().Show(0, "User <B>anna</B><BR>has sucessfully logged in.");
    QDialog* window = App().NotifyDlg().Window();
    ASSERT_NE(window, nullptr);
    QRect wanted(screen.right() + 1 - 202, work.bottom() + 1 - 82, 200, 80);
    EXPECT_TRUE(QTest::qWaitFor([&] { return OuterFrame(*window) == wanted; }, 5000))
        << "frame " << OuterFrame(*window).x() << "," << OuterFrame(*window).y() << " "
        << OuterFrame(*window).width() << "x" << OuterFrame(*window).height();
    EXPECT_TRUE(Property(*window, "_NET_WM_WINDOW_TYPE").contains("_NET_WM_WINDOW_TYPE_UTILITY"));
    QString actions = Property(*window, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_MINIMIZE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_MAXIMIZE")) << actions.toStdString();
    window->close();
}

// The administrator window offers no minimise box here, but other window
// managers (or a "show desktop") minimise it all the same: a window the
// window manager minimised is shown again the way "Open Administrator" and
// the double-click show the administrator window.
TEST(WindowManager, MinimisedWindowComesBackFromTheTray) {
    QWidget window;
    window.setWindowTitle("minimised");
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownNormally(window); }, 5000));
    window.showMinimized();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Property(window, "WM_STATE").contains("Iconic"); }, 5000));
    ShowFromTray(&window);
    // Qt learns of the new state from the window manager's event, after the
    // property has changed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ShownNormally(window); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 5000));
}

// A desktop program started for the whole run, ended with it.
class DesktopProgram {
  public:
    DesktopProgram(const QString& program, const QStringList& arguments) {
        process_.start(program, arguments);
        process_.waitForStarted();
    }
    ~DesktopProgram() {
        process_.kill();
        process_.waitForFinished();
    }

  private:
    QProcess process_;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CPCAppApp app(argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    DesktopProgram windowManager("openbox", {});
    // The tray host starts once the window manager runs, which then manages it
    // as a dock and keeps its strip out of the work area.
    bool managing = QTest::qWaitFor(
        [] {
            QProcess xprop;
            xprop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
            xprop.waitForFinished();
            return xprop.readAllStandardOutput().contains("window id");
        },
        10000);
    // Now and then openbox does not take the strut of a tray host that starts
    // while it is still starting: the host is started again then.
    std::optional<DesktopProgram> trayHost;
    bool reserved = false;
    for (int attempt = 0; attempt < 4 && managing && !reserved; ++attempt) {
        trayHost.reset();
        trayHost.emplace("trayer",
                         QStringList{"--edge", "bottom", "--align", "right", "--widthtype",
                                     "request", "--height", "28", "--SetDockType", "true",
                                     "--SetPartialStrut", "true"});
        reserved = QTest::qWaitFor(
            [] {
                QScreen* screen = QGuiApplication::primaryScreen();
                return screen->availableGeometry().bottom() < screen->geometry().bottom();
            },
            3000);
    }
    if (!managing || !reserved) {
        std::fprintf(stderr,
                     "desktop_tests: no window manager, or the tray host reserved no strip\n");
        return 1;
    }
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", installation.RegistryDir());
    if (!app.InitInstance()) {
        return 1;
    }
    QTest::qWait(500); // the frame hides at its first paint
    int result = RUN_ALL_TESTS();
    app.ExitInstance();
    return result;
}
