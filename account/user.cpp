#include "account/user.h"

// The anonymous identity's lists.
void CUser::LoadStartupLists() {
    siteLists_.Load("*", "*", prefs_);
}

bool CUser::IsApplicationBlocked(const std::string&) const {
    return false;
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
