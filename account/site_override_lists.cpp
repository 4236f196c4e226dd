#include "account/site_override_lists.h"

#include "account/user_prefs.h"

#include <algorithm>

namespace {

// Domains of the product itself, always allowed and never pop-up blocked.
constexpr const char* kFixedDomains[] = {"tellwyn", "zandolet", "quorrin", "orvane", "kimbrel"};

} // namespace

void CSiteOverrideLists::Load(const std::string& user, const std::string& password,
                              CUserPrefs& prefs) {
    std::list<CSiteEntry> allows;
    std::list<CSiteEntry> denies;
    std::list<CSiteEntry> popups;
    prefs.ReadSiteSection("[POPUPS]", user, password, popups);
    prefs.ReadSiteSection("[SOALLOWS]", user, password, allows);
    prefs.ReadSiteSection("[SODENIES]", user, password, denies);
    for (const char* domain : kFixedDomains) {
        CSiteEntry fixed{"*", domain, "com"};
        allows.push_front(fixed);
        popups.push_front(fixed);
    }
    std::lock_guard guard(lock_);
    allows_.swap(allows);
    denies_.swap(denies);
    popups_.swap(popups);
}

bool CSiteOverrideLists::Matches(const std::list<CSiteEntry>& list, const CSiteEntry& site) {
    return std::any_of(list.begin(), list.end(),
                       [&](const CSiteEntry& entry) { return entry.Matches(site); });
}

bool CSiteOverrideLists::OnList(const std::list<CSiteEntry>& list,
                                const std::string& address) const {
    CSiteEntry site = CSiteEntry::FromAddress(address);
    std::lock_guard guard(lock_);
    return Matches(list, site);
}

SiteListing CSiteOverrideLists::Listing(const std::string& address) const {
    CSiteEntry site = CSiteEntry::FromAddress(address);
    std::lock_guard guard(lock_);
    if (Matches(allows_, site)) {
        return SiteListing::Allowed;
    }
    return Matches(denies_, site) ? SiteListing::Denied : SiteListing::None;
}

bool CSiteOverrideLists::OnAllowList(const std::string& address) const {
    return OnList(allows_, address);
}

bool CSiteOverrideLists::OnDenyList(const std::string& address) const {
    return OnList(denies_, address);
}

bool CSiteOverrideLists::OnPopupAllowList(const std::string& address) const {
    return OnList(popups_, address);
}
