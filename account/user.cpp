#include "account/user.h"

#include "account/category_table.h"
#include "common/text.h"
#include "service/app.h"

CUser::CUser(kovari::CAgencyComms* ratingClient) : ratingClient_(ratingClient) {
    Reset();
}

void CUser::Reset() {
    std::lock_guard guard(lock_);
    loginAnswer_.clear();
    userName_.clear();
    password_.clear();
    categoryMaskText_.clear();
    serverProof_.clear();
    agencyServer_.clear();
    categoryMask_ = 0;
    agencyPort_ = 0;
    localOverridesVersion_ = 0;
}

bool CUser::IsLoggedIn() const {
    std::lock_guard guard(lock_);
    return !loginAnswer_.empty();
}

void CUser::LogCategories(const std::string& place, std::uint64_t mask) const {
    AppLog(place, CategoryNames(mask), 2);
}

bool CUser::UserWantsBlock(std::uint64_t siteMask, const std::string& address) const {
    std::uint64_t memberMask = CategoryMask();
    LogCategories("CUser::UserWantsBlock->Site Categories", siteMask);
    LogCategories("CUser::UserWantsBlock->user Categories", memberMask);
    std::uint64_t blocked = siteMask & memberMask;
    if (blocked != 0 && !address.empty()) {
        blockedSites_.Record(address, BlockReason::Categories, blocked);
    }
    return blocked != 0;
}

int CUser::GetLocalDecision(const std::string& address) const {
    SiteListing listing = siteLists_.Listing(address);
    if (listing == SiteListing::Allowed || IsBlockPage(address)) {
        return LOCAL_DECISION_ALLOW;
    }
    if (listing == SiteListing::None) {
        return LOCAL_DECISION_NONE;
    }
    blockedSites_.Record(address, BlockReason::DenyList);
    return LOCAL_DECISION_DENY;
}

void CUser::SetBlockPageAddress(const std::string& address) {
    std::string host(CSiteEntry::AddressHost(address + "/")); // a bare "http://host" too
    std::lock_guard guard(lock_);
    blockPageHost_ = host;
}

bool CUser::IsBlockPage(const std::string& address) const {
    std::lock_guard guard(lock_);
    return !blockPageHost_.empty() &&
           qm::EqualsNoCase(CSiteEntry::AddressHost(address), blockPageHost_);
}

void CUser::LoadStartupLists() {
    siteLists_.Load("*", "*", prefs_);
    appBlockTable_.Load("*", "*", prefs_);
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

void CUser::ReloadSiteLists() {
    if (IsLoggedIn()) {
        siteLists_.Load(UserName(), Password(), prefs_);
    }
}

void CUser::TogglePopupBlocker() {
    int mode = popupBlockerMode_;
    if (mode == POPUP_BLOCKER_ON || mode == POPUP_BLOCKER_OFF) {
        popupBlockerMode_ = mode == POPUP_BLOCKER_ON ? POPUP_BLOCKER_OFF : POPUP_BLOCKER_ON;
    }
}

std::string CUser::UserName() const {
    std::lock_guard guard(lock_);
    return userName_;
}

std::string CUser::Password() const {
    std::lock_guard guard(lock_);
    return password_;
}

std::string CUser::AgencyServer() const {
    std::lock_guard guard(lock_);
    return agencyServer_;
}

int CUser::AgencyPort() const {
    std::lock_guard guard(lock_);
    return agencyPort_;
}

std::uint64_t CUser::CategoryMask() const {
    std::lock_guard guard(lock_);
    return categoryMask_;
}

std::string CUser::LoginMessage() const {
    std::lock_guard guard(lock_);
    return loginMessage_;
}

bool CUser::TakeLoginMessage(std::string& text, int& displayMs) {
    std::lock_guard guard(lock_);
    if (loginMessage_.empty()) {
        return false;
    }
    text = loginMessage_;
    displayMs = loginMessageTime_;
    loginMessage_.clear();
    loginMessageTime_ = 0;
    return true;
}
