// The main frame inside a started service: title and hiding, tray commands,
// the administrator window, and the member's inactivity timer driven by a
// clock the test advances itself.

#include "account/agency_comms.h"
#include "platform/qt/message_box.h"
#include "service/app.h"
#include "service/main_frame.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"
#include "tests/support/manual_timers.h"
#include "ui/pcapp_view.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The service started once for all tests of this program (one copy per process).
struct Service {
    qmtest::Installation installation;
    std::optional<qmtest::ScopedEnv> registry;
    qmtest::ManualTimers clock;
};
Service* gService = nullptr;

CPCAppApp& App() {
    return *CPCAppApp::Current();
}

CMainFrame& Frame() {
    return *App().MainFrame();
}

int CountLines(const std::string& text) {
    auto lines = gService->installation.LogLines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

// Runs a blocking channel request on another thread while this one serves the event loop.
std::string AskChannel(const std::string& request, std::size_t replySize) {
    std::atomic<bool> done{false};
    std::string reply;
    std::thread client([&] {
        qmtest::ChannelClient channel;
        reply = channel.Ask(request, replySize);
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    client.join();
    return reply;
}

void CloseNotifications() {
    while (QDialog* window = App().NotifyDlg().Window()) {
        window->close();
    }
    QApplication::processEvents();
}

constexpr char kDisconnected[] = "CMainframe::OnTimer - Disconnected from Agency due to timeout";
constexpr char kLoggedOut[] = "CMainframe::OnTimer - Logged out user due to timeout";

TEST(MainFrame, TitleSizeAndHiddenAfterTheFirstPaint) {
    EXPECT_EQ(Frame().windowTitle().toStdString(), "Filter Administrator");
    EXPECT_EQ(Frame().size(), QSize(610, 447));
    EXPECT_FALSE(Frame().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(Frame().windowFlags() & Qt::WindowMaximizeButtonHint);
    // Up to 5 s by the clock: processEvents returns at once when nothing is queued.
    for (QDeadlineTimer deadline(5000); Frame().isVisible() && !deadline.hasExpired();) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_EQ(Frame().TrayState(), TRAY_STATE_STARTED);
}

TEST(MainFrame, IdleMemberIsDisconnectedFrom310AndLoggedOutAt910Seconds) {
    CloseNotifications();
    int disconnectedBefore = CountLines(kDisconnected);
    int loggedOutBefore = CountLines(kLoggedOut);
    int startedBefore = CountLines("CMainFrame::StartIdleTimer - Idle timer started");
    int endedBefore = CountLines("CMainFrame::EndIdleTimer - Idle timer terminated");
    Frame().StartIdleTimer();
    gService->clock.Advance(300000);
    EXPECT_EQ(CountLines(kDisconnected), disconnectedBefore);
    gService->clock.Advance(10000);
    EXPECT_EQ(CountLines(kDisconnected), disconnectedBefore + 1);
    gService->clock.Advance(600000);
    EXPECT_EQ(CountLines(kDisconnected), disconnectedBefore + 61);
    EXPECT_EQ(CountLines(kLoggedOut), loggedOutBefore + 1);
    ASSERT_NE(App().NotifyDlg().Browser(), nullptr);
    EXPECT_EQ(App().NotifyDlg().Browser()->toPlainText().trimmed().toStdString(),
              "Orvane has logged\nout due to inactivity.");
    EXPECT_TRUE(App().NotifyDlg().Queue().empty()); // one notification only
    // The log-out ended the timer: nothing more happens.
    gService->clock.Advance(3600000);
    EXPECT_EQ(CountLines(kDisconnected), disconnectedBefore + 61);
    EXPECT_EQ(CountLines(kLoggedOut), loggedOutBefore + 1);
    EXPECT_EQ(CountLines("CMainFrame::StartIdleTimer - Idle timer started"), startedBefore + 1);
    EXPECT_EQ(CountLines("CMainFrame::EndIdleTimer - Idle timer terminated"), endedBefore + 1);
    EXPECT_EQ(Frame().TrayState(), TRAY_STATE_LOGGED_OUT);
    EXPECT_EQ(Frame().TrayIcon(), IDI_TRAY_LOGGED_OUT);
    CloseNotifications();
}

TEST(MainFrame, WebRequestResetsTheCountAndApplicationRequestsDoNot) {
    int before = CountLines(kDisconnected);
    int loggedOutBefore = CountLines(kLoggedOut);
    Frame().StartIdleTimer();
    gService->clock.Advance(600000);
    EXPECT_EQ(CountLines(kDisconnected), before + 30);
    EXPECT_EQ(AskChannel("http://www.example.com/", 2).size(), 2u);
    EXPECT_EQ(Frame().IdleCount(), 0);
    gService->clock.Advance(300000);
    EXPECT_EQ(CountLines(kDisconnected), before + 30);
    EXPECT_EQ(AskChannel(qmtest::ApplicationRequest("AB:80,x.exe"), 4), "AB:N");
    EXPECT_EQ(Frame().IdleCount(), 300);
    gService->clock.Advance(10000);
    EXPECT_EQ(CountLines(kDisconnected), before + 31);
    Frame().EndIdleTimer();
    gService->clock.Advance(3600000);
    EXPECT_EQ(CountLines(kDisconnected), before + 31);
    EXPECT_EQ(CountLines(kLoggedOut), loggedOutBefore);
}

TEST(MainFrame, HeartbeatWritesOneLineAndChangesNothing) {
    int before = CountLines("CMainFrame::WindowProc - Someone is heartbeating KOVARI");
    int state = Frame().TrayState();
    EXPECT_EQ(Frame().WindowProc(WM_KOVARI_HEARTBEAT, 0, 0), 0);
    EXPECT_EQ(CountLines("CMainFrame::WindowProc - Someone is heartbeating KOVARI"), before + 1);
    EXPECT_EQ(Frame().TrayState(), state);
}

TEST(MainFrame, EnablePopupBlockerWithModeNotOfferedChangesNothing) {
    CUser& user = App().RatingClient()->User();
    ASSERT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_NOT_OFFERED);
    Frame().WindowProc(WM_COMMAND, ID_POPUP_TOGGLE, 0);
    EXPECT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_NOT_OFFERED);
    EXPECT_EQ(Frame().Tray().PopupBlockerMode(), POPUP_BLOCKER_NOT_OFFERED);
}

TEST(MainFrame, DoubleClickOpensTheAdministratorAndCloseHidesItOnTheStartPage) {
    std::string folder = gService->installation.InstallDir() + "/splash";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/frame.htm")
        << "<html><body>Start <a href=\"next.htm\">on</a></body></html>";
    std::ofstream(folder + "/next.htm") << "<html><body>Next page</body></html>";

    Frame().Tray().OnTrayNotification(130, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(Frame().isVisible());
    CPCAppView* view = Frame().View();
    view->setSource(QUrl::fromLocalFile(QString::fromStdString(folder + "/next.htm")));
    EXPECT_TRUE(view->toPlainText().contains("Next page"));

    Frame().close();
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_TRUE(App().MainFrame() != nullptr);
    EXPECT_EQ(view->source().toLocalFile().toStdString(), folder + "/frame.htm");
    EXPECT_TRUE(view->toPlainText().contains("Start"));
    EXPECT_FALSE(view->isBackwardAvailable());
}

// Desktops without tray icons: the window's menu bar holds the tray's menu,
// built for the state when it opens, and its commands work from there.
TEST(MainFrame, MenuBarOffersTheTrayMenuOfTheState) {
    QList<QAction*> bar = Frame().menuBar()->actions();
    ASSERT_EQ(bar.size(), 1);
    EXPECT_EQ(bar[0]->text().toStdString(), "&Filter");
    QMenu* menu = bar[0]->menu();
    ASSERT_EQ(menu, Frame().Tray().Menu());
    Frame().SetTrayState(TRAY_STATE_LOGGED_IN, "anna");
    Frame().show();
    menu->popup(Frame().pos());
    std::vector<std::string> items;
    for (QAction* action : menu->actions()) {
        items.push_back(action->text().toStdString());
    }
    EXPECT_EQ(items,
              (std::vector<std::string>{"Switch User", "Logout: anna", "Open Administrator"}));
    menu->hide();
    Frame().close();
    ASSERT_FALSE(Frame().isVisible());
    menu->actions().back()->trigger(); // "Open Administrator"
    EXPECT_TRUE(Frame().isVisible());
    Frame().close();
    Frame().SetTrayState(TRAY_STATE_STARTED, "");
}

TEST(MainFrame, ControlMessagesOfFastUserSwitchOtherThanDisconnectArePassedOn) {
    int before = CountLines("Fast User Switch' -- Terminating KOVARI!");
    EXPECT_EQ(Frame().WindowProc(WM_WTSSESSION_CHANGE, 1, 0), 0);
    QApplication::processEvents();
    EXPECT_EQ(CountLines("Fast User Switch' -- Terminating KOVARI!"), before);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // also when the test list is read
    }
    CPCAppApp app(argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    Service service;
    gService = &service;
    service.installation.WriteSettings(2);
    service.registry.emplace("QUELLMARK_REGISTRY_DIR", service.installation.RegistryDir());
    // A site question finds nobody logged in: the login dialog is cancelled.
    platform::SetDialogHandler([](QDialog&) { return int(QDialog::Rejected); });
    if (!app.InitInstance()) {
        return 1;
    }
    int result = RUN_ALL_TESTS();
    app.ExitInstance();
    return result;
}
