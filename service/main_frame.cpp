#include "service/main_frame.h"

#include "platform/qt/presence_endpoint.h"
#include "service/app.h"
#include "service/service_constants.h"

CMainFrame::CMainFrame(CPCAppApp* app)
    : app_(app), endpoint_(new platform::PresenceEndpoint(this)) {
    resize(610, 447);
    endpoint_->Listen(kWindowClassName);
    connect(endpoint_, &platform::PresenceEndpoint::controlMessage, this,
            [this](UINT message, WPARAM wParam, LPARAM lParam) {
                WindowProc(message, wParam, lParam);
            });
}

CMainFrame::~CMainFrame() = default;

LRESULT CMainFrame::WindowProc(UINT message, WPARAM, LPARAM) {
    const char* place = "CMainFrame::WindowProc";
    switch (message) {
    case WM_KOVARI_TERMINATE:
        app_->Log(place, "Application signaled to terminate", 2);
        QCoreApplication::postEvent(app_, new QEvent(QEvent::Quit));
        break;
    case WM_KOVARI_HEARTBEAT:
        app_->Log(place, "Someone is heartbeating KOVARI", 2);
        break;
    default:
        break;
    }
    return 0;
}

bool CMainFrame::RegisterSessionNotification() {
    return false;
}

void CMainFrame::paintEvent(QPaintEvent*) {
    if (hideAtFirstPaint_) {
        hideAtFirstPaint_ = false;
        hide();
    }
}
