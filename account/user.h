#pragma once
// The logged-in member's profile. Until a member logs in, the anonymous
// identity's lists apply and the pop-up blocker mode is 102 (not offered).

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "service/app_block_table.h"

#include <string>

// Pop-up blocker modes.
constexpr int POPUP_BLOCKER_ON = 100;
constexpr int POPUP_BLOCKER_OFF = 101;
constexpr int POPUP_BLOCKER_NOT_OFFERED = 102;

class CUser {
  public:
    // Loads the anonymous identity's lists read at start-up.
    void LoadStartupLists();

    // True when the program or port of an application request ("AB:port,name") is blocked.
    bool IsApplicationBlocked(const std::string& request) const;

    // The pop-up letter of the channel's site answer for this address:
    // 'O' for mode 102, 'N' for mode 101, otherwise 'N' for a site on the pop-up
    // allow list and 'Y' for any other.
    char GetPopupLetter(const std::string& address) const;

    // The log-in sequence; always true. Not offered yet: nobody logs in.
    bool Login(bool allowSavedProfile, bool showNotice);
    // The log-out sequence: the tray shows nobody logged in, the idle timer ends.
    void Logout();
    // Reloads the member's site lists (after the pop-up settings changed).
    void ReloadSiteLists();
    // 100 becomes 101 and 101 becomes 100; 102 stays. Not saved.
    void TogglePopupBlocker();

    int PopupBlockerMode() const { return popupBlockerMode_; }

    // The preference store (user.prefs) and the site lists read from it.
    CUserPrefs& Prefs() { return prefs_; }
    CSiteOverrideLists& SiteLists() { return siteLists_; }

  private:
    CSiteOverrideLists siteLists_;
    CUserPrefs prefs_;
    // Deciding a request marks the entry as notified.
    mutable CAppBlockTable appBlockTable_;
    int popupBlockerMode_ = POPUP_BLOCKER_NOT_OFFERED;
};
