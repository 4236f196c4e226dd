#pragma once
// The service's main window. It is created at start-up and hides itself at its
// first paint; while it exists, the service's named endpoint "VRA_Class" is
// bound, which is how the provider finds the running service, and control
// messages sent to that endpoint reach WindowProc.

#include "platform/wintypes.h"

#include <QMainWindow>

class CPCAppApp;
namespace platform {
class PresenceEndpoint;
}

// Control messages of the service window.
constexpr UINT WM_KOVARI_TERMINATE = 1035;
constexpr UINT WM_KOVARI_HEARTBEAT = 1036;
constexpr UINT WM_KOVARI_LOGIN = 1124;
constexpr UINT WM_WTSSESSION_CHANGE = 689;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(CPCAppApp* app);
    ~CMainFrame() override;

    // Handles the control messages, then the default processing (result 0).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Asks to be told of session changes (fast user switch).
    bool RegisterSessionNotification();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CPCAppApp* app_;
    platform::PresenceEndpoint* endpoint_;
    bool hideAtFirstPaint_ = true;
};
