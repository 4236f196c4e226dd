#include "service/main_frame.h"

#include "account/agency_comms.h"
#include "platform/qt/message_box.h"
#include "platform/qt/presence_endpoint.h"
#include "platform/qt/quit.h"
#include "platform/qt/session_watch.h"
#include "platform/qt/window_hints.h"
#include "service/app.h"
#include "service/registry_values.h"
#include "service/service_constants.h"
#include "ui/pcapp_view.h"
#include "ui/popup_settings_dlg.h"
#include "ui/tray_animation.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QThread>

namespace {

constexpr DWORD kTitleBufferSize = 50;
constexpr platform::UINT_PTR kIdleTimerNumber = 1;
constexpr UINT kIdlePeriodMs = 10000;
constexpr char kTimerPlace[] = "CMainframe::OnTimer";

// Fast-user-switch handling needs an OS version of at least 5.1.
bool SessionMessagesSupported(const OSVERSIONINFOA& version) {
    return platform::VersionAtLeast(version, 5, 1);
}

} // namespace

std::string ReadMainTitle() {
    std::string title = "Filter Administrator";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS) {
        return title;
    }
    std::string value;
    if (ReadStringValue(key, "MainTitle", kTitleBufferSize, value)) {
        title = value;
    }
    RegCloseKey(key);
    return title;
}

CMainFrame::CMainFrame(CPCAppApp* app)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      app_(app), endpoint_(new platform::PresenceEndpoint(this)) {
    setWindowTitle(QString::fromLocal8Bit(ReadMainTitle().c_str()));
    resize(610, 447);
    OnCreate();
    endpoint_->Listen(kWindowClassName);
    connect(endpoint_, &platform::PresenceEndpoint::controlMessage, this,
            [this](UINT message, WPARAM wParam, LPARAM lParam) {
                WindowProc(message, wParam, lParam);
            });
}

CMainFrame::~CMainFrame() {
    WindowProc(WM_DESTROY, 0, 0);
    menuBar()->clear(); // its action names the tray's menu, which goes first with the tray
}

void CMainFrame::OnCreate() {
    QIcon icon = LoadTrayIcon(IDI_TRAY_LOGGED_OUT);
    if (icon.isNull()) {
        platform::MessageBox("Loading Icon Failed", "KOVARI", platform::MB_OK);
    }
    setWindowIcon(icon);
    tray_.Create(nullptr, WM_TRAY_NOTIFY, "Quellmark", icon, IDR_TRAY_MENU, false);
    SetTrayState(TRAY_STATE_STARTED, "");
    // The tray's commands are also in the window's menu bar: desktops whose
    // panel shows no tray icons (GNOME as it comes) reach them there.
    menuBar()->addAction("&Filter")->setMenu(tray_.Menu());

    view_ = new CPCAppView(app_ ? app_->InstallFolder() : std::string(), this);
    setCentralWidget(view_);
    view_->viewport()->installEventFilter(this);
    view_->ShowStartPage();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    const char* place = "CMainFrame::WindowProc";
    switch (message) {
    case WM_KOVARI_TERMINATE:
        app_->Log(place, "Application signaled to terminate", 2);
        platform::PostQuitMessage(0);
        break;
    case WM_KOVARI_HEARTBEAT:
        app_->Log(place, "Someone is heartbeating KOVARI", 2);
        break;
    case WM_KOVARI_LOGIN:
        OnCommand(ID_LOGIN);
        break;
    case WM_WTSSESSION_CHANGE:
        if (SessionMessagesSupported(app_->OsVersion()) &&
            wParam == platform::WTS_CONSOLE_DISCONNECT) {
            app_->Log(place, "User did a 'Fast User Switch' -- Terminating KOVARI!", 2);
            platform::PostQuitMessage(0);
        }
        break;
    case WM_COMMAND:
        OnCommand(static_cast<UINT>(wParam & 0xFFFF));
        break;
    case WM_TIMER:
        OnTimer();
        break;
    case WM_DESTROY:
        if (app_ && SessionMessagesSupported(app_->OsVersion())) {
            app_->Log(place, "Unregistering the Fast User Switch message", 3);
            delete sessionWatch_;
            sessionWatch_ = nullptr;
            app_->ClearSessionLibrary();
        }
        break;
    default:
        break;
    }
    return 0;
}

bool CMainFrame::RegisterSessionNotification() {
    sessionWatch_ = new platform::SessionWatch(this);
    connect(
        sessionWatch_, &platform::SessionWatch::sessionChange, this,
        [this](WPARAM code, LPARAM session) { WindowProc(WM_WTSSESSION_CHANGE, code, session); });
    if (sessionWatch_->Start()) {
        return true;
    }
    delete sessionWatch_;
    sessionWatch_ = nullptr;
    return false;
}

void CMainFrame::OnCommand(UINT command) {
    kovari::CAgencyComms* rating = app_ ? app_->RatingClient() : nullptr;
    switch (command) {
    case ID_OPEN_ADMINISTRATOR:
        ShowFromTray(this);
        return;
    case ID_POPUP_TOGGLE:
        TogglePopupBlocker();
        return;
    case ID_POPUP_SETTINGS:
        RunPopupSettings();
        return;
    default:
        break;
    }
    if (!rating) {
        return;
    }
    switch (command) {
    case ID_LOGIN:
        rating->User().Login(true, true);
        break;
    case ID_SWITCH_USER:
        rating->User().Logout();
        rating->Disconnect();
        rating->User().Login(false, true);
        break;
    case ID_LOGOUT:
        rating->User().Logout();
        rating->Disconnect();
        break;
    default:
        break;
    }
}

void CMainFrame::TogglePopupBlocker() {
    if (kovari::CAgencyComms* rating = app_ ? app_->RatingClient() : nullptr) {
        rating->User().TogglePopupBlocker();
        SetPopupBlockerMode(rating->User().PopupBlockerMode());
    }
}

void CMainFrame::RunPopupSettings() {
    kovari::CAgencyComms* rating = app_ ? app_->RatingClient() : nullptr;
    if (!rating) {
        return;
    }
    CPopupSettingsDlg dialog(app_->InstallFolder(), rating->User().Prefs());
    if (platform::ExecDialog(dialog) == QDialog::Accepted) {
        rating->User().ReloadSiteLists();
    }
}

template <typename Call> void CMainFrame::OnWindowThread(Call call) {
    if (QThread::currentThread() == thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(this, call, Qt::QueuedConnection);
    }
}

void CMainFrame::StartIdleTimer() {
    OnWindowThread([this] {
        if (idleTimer_) {
            platform::Timers().KillTimer(idleTimer_);
        }
        idleCount_ = 0;
        idleTimer_ = platform::Timers().SetTimer(
            kIdleTimerNumber, kIdlePeriodMs, [this] { WindowProc(WM_TIMER, kIdleTimerNumber, 0); });
        app_->Log("CMainFrame::StartIdleTimer", "Idle timer started", 2);
    });
}

void CMainFrame::EndIdleTimer() {
    OnWindowThread([this] {
        platform::Timers().KillTimer(idleTimer_);
        idleTimer_ = 0;
        app_->Log("CMainFrame::EndIdleTimer", "Idle timer terminated", 2);
    });
}

void CMainFrame::OnTimer() {
    idleCount_ += 10;
    kovari::CAgencyComms* rating = app_->RatingClient();
    if (idleCount_ > 300) {
        if (rating) {
            rating->Disconnect();
        }
        app_->Log(kTimerPlace, "Disconnected from Agency due to timeout", 2);
    }
    if (idleCount_ > 900) {
        if (rating) {
            rating->User().Logout();
        }
        app_->Log(kTimerPlace, "Logged out user due to timeout", 2);
        app_->NotifyDlg().Show(5000, "Orvane has logged<BR>out due to inactivity.");
    }
}

void CMainFrame::SetTrayState(int state, const std::string& userName) {
    OnWindowThread([this, state, userName] { tray_.SetTrayState(state, userName); });
}

void CMainFrame::SetTrayIcon(UINT iconResource) {
    OnWindowThread([this, iconResource] {
        trayIcon_ = iconResource;
        tray_.SetTrayIcon(iconResource);
    });
}

void CMainFrame::StopIconAnimation() {
    OnWindowThread([this] { tray_.StopIconAnimation(); });
}

void CMainFrame::SetPopupBlockerMode(int mode) {
    OnWindowThread([this, mode] { tray_.SetPopupBlockerMode(mode); });
}

void CMainFrame::OnFirstPaint() {
    if (!hideAtFirstPaint_) {
        return;
    }
    hideAtFirstPaint_ = false;
    // Hidden once the paint in progress is over.
    QMetaObject::invokeMethod(
        this, [this] { HideToTray(this); }, Qt::QueuedConnection);
}

// No minimise or maximise box, whatever the window manager.
void CMainFrame::showEvent(QShowEvent* event) {
    platform::MarkWithoutMinimiseAndMaximise(*this);
    QMainWindow::showEvent(event);
}

void CMainFrame::paintEvent(QPaintEvent*) {
    OnFirstPaint();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        OnFirstPaint();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
    HideToTray(this);
    view_->ShowStartPage();
}
