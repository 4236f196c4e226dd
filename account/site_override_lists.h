#pragma once
// The member's site lists from the preference file: the allow list, the deny
// list and the pop-up allow list, each with the fixed entries that keep the
// product's own domains allowed and free of pop-up blocking.
//
// A load runs on the thread that logs the member in while the user-interface
// thread may be answering site questions; the lists are swapped in whole under
// a lock, so a question sees either the old lists or the new ones.

#include "account/site_entry.h"

#include <list>
#include <mutex>
#include <string>

class CUserPrefs;

enum class SiteListing { None, Allowed, Denied };

class CSiteOverrideLists {
  public:
    // Replaces all three lists from the file for the identity, then adds the fixed entries.
    void Load(const std::string& user, const std::string& password, CUserPrefs& prefs);

    // The list that decides the address, the allow list first, read from one
    // version of the lists even while a load swaps them.
    SiteListing Listing(const std::string& address) const;
    bool OnAllowList(const std::string& address) const;
    bool OnDenyList(const std::string& address) const;
    bool OnPopupAllowList(const std::string& address) const;

  private:
    bool OnList(const std::list<CSiteEntry>& list, const std::string& address) const;
    static bool Matches(const std::list<CSiteEntry>& list, const CSiteEntry& site);

    mutable std::mutex lock_;
    std::list<CSiteEntry> allows_;
    std::list<CSiteEntry> denies_;
    std::list<CSiteEntry> popups_;
};
