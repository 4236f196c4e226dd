#include "account/blocked_sites.h"

#include "account/site_entry.h"
#include "common/text.h"

#include <algorithm>

namespace {

constexpr auto kNoticeInterval = std::chrono::minutes(1);

std::string HostKey(std::string_view address) {
    return qm::ToLower(CSiteEntry::AddressHost(address));
}

} // namespace

std::list<BlockedSite>::iterator CBlockedSites::Entry(const std::string& host) {
    return std::find_if(sites_.begin(), sites_.end(),
                        [&](const BlockedSite& site) { return site.host == host; });
}

void CBlockedSites::Store(const std::string& host, BlockReason reason, std::uint64_t categories) {
    auto found = Entry(host);
    BlockedSite site;
    if (found != sites_.end()) {
        site = std::move(*found); // keeps when the host was last told
        sites_.erase(found);
    }
    site.host = host;
    site.reason = reason;
    site.categories = categories;
    site.decided = Clock::now();
    site.serial = ++serial_;
    sites_.push_front(std::move(site));
    if (sites_.size() > kCapacity) {
        sites_.pop_back();
    }
}

void CBlockedSites::Record(std::string_view address, BlockReason reason, std::uint64_t categories) {
    std::string host = HostKey(address);
    std::lock_guard guard(lock_);
    Store(host, reason, categories);
}

std::uint64_t CBlockedSites::Mark() const {
    std::lock_guard guard(lock_);
    return serial_;
}

void CBlockedSites::RecordIfNoneSince(std::string_view address, std::uint64_t mark,
                                      BlockReason reason) {
    std::string host = HostKey(address);
    std::lock_guard guard(lock_);
    auto found = Entry(host);
    if (found == sites_.end() || found->serial <= mark) {
        Store(host, reason, 0);
    }
}

std::optional<BlockedSite> CBlockedSites::Find(std::string_view host) const {
    std::string key = qm::ToLower(host);
    std::lock_guard guard(lock_);
    auto found = std::find_if(sites_.begin(), sites_.end(),
                              [&](const BlockedSite& site) { return site.host == key; });
    if (found == sites_.end()) {
        return std::nullopt;
    }
    return *found;
}

bool CBlockedSites::TakeNotice(std::string_view host, Clock::time_point now) {
    std::string key = qm::ToLower(host);
    std::lock_guard guard(lock_);
    auto found = Entry(key);
    if (found == sites_.end()) {
        return true; // not remembered: nothing to hold the notice back
    }
    if (found->noticed && now - *found->noticed < kNoticeInterval) {
        return false;
    }
    found->noticed = now;
    return true;
}
