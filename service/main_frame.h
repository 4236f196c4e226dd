#pragma once
// The service's main window. It is created at start-up and hides itself into
// the tray at its first paint; afterwards it is shown only as the administrator
// window ("Open Administrator") and closing it only hides it again. While it
// exists, the service's named endpoint "VRA_Class" is bound, which is how the
// provider finds the running service, and control messages sent to that
// endpoint reach WindowProc. It owns the tray icon, answers the tray menu's
// commands and runs the member's inactivity timer.

#include "platform/qt/window_timers.h"
#include "platform/wintypes.h"
#include "ui/pcapp_doc.h"
#include "ui/system_tray.h"

#include <QMainWindow>

#include <atomic>
#include <string>

class CPCAppApp;
class CPCAppView;
namespace platform {
class PresenceEndpoint;
class SessionWatch;
} // namespace platform

// Control messages of the service window.
constexpr UINT WM_KOVARI_TERMINATE = 1035;
constexpr UINT WM_KOVARI_HEARTBEAT = 1036;
constexpr UINT WM_KOVARI_LOGIN = 1124;
constexpr UINT WM_WTSSESSION_CHANGE = 689;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_TIMER = 0x0113;
// The tray icon's callback message.
constexpr UINT WM_TRAY_NOTIFY = 0x8001;
// Identifier of the tray icon and of its menu resource.
constexpr UINT IDR_TRAY_MENU = 130;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(CPCAppApp* app);
    ~CMainFrame() override;

    // Handles the control messages, tray commands (WM_COMMAND) and timer ticks
    // (WM_TIMER), then the default processing (result 0).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Asks to be told of session changes (fast user switch).
    bool RegisterSessionNotification();

    // The inactivity timer: started at a member's login, ended at the logout;
    // every web request resets the count (from the channel's thread). Safe to
    // call from the login worker.
    void StartIdleTimer();
    void EndIdleTimer();
    void ResetIdleCount() { idleCount_ = 0; }
    int IdleCount() const { return idleCount_; }

    // The tray icon: its state and member name for the menu, its picture, and
    // its copy of the pop-up blocker mode. Safe to call from the login worker.
    void SetTrayState(int state, const std::string& userName);
    void SetTrayIcon(UINT iconResource);
    void StopIconAnimation();
    void SetPopupBlockerMode(int mode);
    int TrayState() const { return tray_.TrayState(); }
    UINT TrayIcon() const { return trayIcon_; }

    // Clears the hide-at-first-paint flag (at the end of every login run).
    void ClearHideAtFirstPaint() { hideAtFirstPaint_ = false; }

    CSystemTray& Tray() { return tray_; }
    CPCAppView* View() const { return view_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnCreate();
    void OnCommand(UINT command);
    void OnTimer();
    void OnFirstPaint();
    void TogglePopupBlocker();
    void RunPopupSettings();
    // Runs call on the window's thread: at once there, posted from any other.
    template <typename Call> void OnWindowThread(Call call);

    CSystemTray tray_;
    UINT trayIcon_ = IDI_TRAY_LOGGED_OUT;
    bool hideAtFirstPaint_ = true;
    std::atomic<int> idleCount_{0};
    platform::UINT_PTR idleTimer_ = 0;
    CPCAppApp* app_;
    CPCAppView* view_ = nullptr;
    CPCAppDoc document_;
    platform::PresenceEndpoint* endpoint_;
    platform::SessionWatch* sessionWatch_ = nullptr;
};

// The frame's title: MainTitle from the machine settings, or "Filter
// Administrator" when it is missing or longer than its 50-byte buffer.
std::string ReadMainTitle();
