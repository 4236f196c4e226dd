#pragma once
// The logged-in member's profile, filled from the account server's login
// answer: category mask, rating service host and port, credentials, a one-time
// login message, and the member's lists. Logged in exactly while the login
// answer is not empty. Until a member logs in, the anonymous identity's lists
// apply and the pop-up blocker mode is 102 (not offered).
//
// The profile is filled on the rating client's login worker while the
// user-interface thread may answer channel questions from it, so its fields
// are read and written under a lock.

#include "account/blocked_sites.h"
#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "service/app_block_table.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kovari {
class CAgencyComms;
}

// Pop-up blocker modes.
constexpr int POPUP_BLOCKER_ON = 100;
constexpr int POPUP_BLOCKER_OFF = 101;
constexpr int POPUP_BLOCKER_NOT_OFFERED = 102;

// Answers of CUser::GetLocalDecision.
constexpr int LOCAL_DECISION_NONE = 0;
constexpr int LOCAL_DECISION_ALLOW = 1;
constexpr int LOCAL_DECISION_DENY = 2;

class CUser {
  public:
    explicit CUser(kovari::CAgencyComms* ratingClient = nullptr);

    // Fills the profile from a verified login answer.
    void Create(const std::string& answer);
    // Clears the login state; the login message is kept.
    void Reset();
    bool IsLoggedIn() const;
    // The log-in sequence: saved profile (when allowed) or the login dialog,
    // then the tray and the idle timer. A cancelled dialog leaves the member
    // logged out. Always true.
    bool Login(bool allowSavedProfile, bool showNotice);
    // The log-out sequence: anonymous lists, tray, idle timer, disconnection.
    void Logout();

    // True when the site's categories meet the member's; a blocked address is
    // remembered with those categories.
    bool UserWantsBlock(std::uint64_t siteMask, const std::string& address = {}) const;
    // 1 on the allow list, 2 on the deny list, 0 on neither (the allow list wins;
    // the block page's own host is always allowed). A denied address is remembered.
    int GetLocalDecision(const std::string& address) const;
    // Logs the names of the mask's categories at level 2.
    void LogCategories(const std::string& place, std::uint64_t mask) const;

    // Loads the anonymous identity's lists read at start-up.
    void LoadStartupLists();
    // True when the program or port of an application request ("AB:port,name") is blocked.
    bool IsApplicationBlocked(const std::string& request) const;
    // The pop-up letter of the channel's site answer for this address:
    // 'O' for mode 102, 'N' for mode 101, otherwise 'N' for a site on the pop-up
    // allow list and 'Y' for any other.
    char GetPopupLetter(const std::string& address) const;
    // Reloads the member's site lists (after the pop-up settings changed).
    void ReloadSiteLists();
    // 100 becomes 101 and 101 becomes 100; 102 stays. Not saved.
    void TogglePopupBlocker();

    int PopupBlockerMode() const { return popupBlockerMode_; }
    std::string UserName() const;
    std::string Password() const;
    std::string AgencyServer() const;
    int AgencyPort() const;
    std::uint64_t CategoryMask() const;
    // The login message and its display time, emptied once taken; false when there is none.
    bool TakeLoginMessage(std::string& text, int& displayMs);
    std::string LoginMessage() const;
    // Tells the member of a log-in: the login message once, else the usual notice.
    void ShowLoginNotice();

    // The block page's address ("BlockPage"): its host is always allowed.
    void SetBlockPageAddress(const std::string& address);
    // The sites blocked lately and why.
    CBlockedSites& BlockedSites() const { return blockedSites_; }

    // The preference store (user.prefs) and the site lists read from it.
    CUserPrefs& Prefs() { return prefs_; }
    CSiteOverrideLists& SiteLists() { return siteLists_; }

  private:
    bool IsBlockPage(const std::string& address) const;
    void LoadMemberLists(const std::string& answer, const std::string& user,
                         const std::string& password);

    kovari::CAgencyComms* ratingClient_;
    mutable std::mutex lock_;
    int agencyPort_ = 0;
    int loginMessageTime_ = 0;
    int localOverridesVersion_ = 0;
    std::string categoryMaskText_;
    std::string password_;
    std::string loginAnswer_;
    std::string serverProof_;
    std::string userName_;
    std::string loginMessage_;
    std::string blockPageHost_;
    CSiteOverrideLists siteLists_;
    mutable CBlockedSites blockedSites_;
    CUserPrefs prefs_;
    // Deciding a request marks the entry as notified.
    mutable CAppBlockTable appBlockTable_;
    std::atomic<int> popupBlockerMode_{POPUP_BLOCKER_NOT_OFFERED};
    std::string agencyServer_;
    std::uint64_t categoryMask_ = 0;
};
