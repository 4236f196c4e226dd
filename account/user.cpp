#include "account/user.h"

#include "service/app.h"
#include "service/main_frame.h"

// The anonymous identity's lists.
void CUser::LoadStartupLists() {
    siteLists_.Load("*", "*", prefs_);
    appBlockTable_.Load("*", "*");
}

bool CUser::IsApplicationBlocked(const std::string& request) const {
    return appBlockTable_.IsBlocked(request);
}

char CUser::GetPopupLetter(const std::string& address) const {
    switch (popupBlockerMode_) {
    case POPUP_BLOCKER_NOT_OFFERED:
        return 'O';
    case POPUP_BLOCKER_OFF:
        return 'N';
    default:
        return siteLists_.OnPopupAllowList(address) ? 'N' : 'Y';
    }
}

bool CUser::Login(bool, bool) {
    return true;
}

void CUser::Logout() {
    CPCAppApp* app = CPCAppApp::Current();
    if (CMainFrame* frame = app ? app->MainFrame() : nullptr) {
        frame->SetTrayState(TRAY_STATE_LOGGED_OUT, "");
        frame->SetTrayIcon(IDI_TRAY_LOGGED_OUT);
        frame->EndIdleTimer();
    }
}

void CUser::ReloadSiteLists() {}

void CUser::TogglePopupBlocker() {
    if (popupBlockerMode_ == POPUP_BLOCKER_ON) {
        popupBlockerMode_ = POPUP_BLOCKER_OFF;
    } else if (popupBlockerMode_ == POPUP_BLOCKER_OFF) {
        popupBlockerMode_ = POPUP_BLOCKER_ON;
    }
}
