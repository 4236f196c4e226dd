#include "account/user.h"

// No member lists exist yet: the anonymous identity blocks no program.
void CUser::LoadStartupLists() {}

bool CUser::IsApplicationBlocked(const std::string&) const {
    return false;
}

char CUser::GetPopupLetter(const std::string&) const {
    switch (popupBlockerMode_) {
    case POPUP_BLOCKER_NOT_OFFERED:
        return 'O';
    case POPUP_BLOCKER_OFF:
        return 'N';
    default:
        return 'Y';
    }
}
