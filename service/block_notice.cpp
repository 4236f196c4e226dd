#include "service/block_notice.h"

#include "account/blocked_sites.h"
#include "account/site_entry.h"
#include "common/text.h"
#include "service/app.h"
#include "service/block_page.h"

namespace {

constexpr unsigned kNotifyMs = 5000;

} // namespace

void NoteBlockedSite(CBlockedSites& sites, const std::string& address, std::uint64_t mark) {
    sites.RecordIfNoneSince(address, mark, BlockReason::NotRated);
    if (!qm::StartsWithNoCase(address, "https://")) {
        return; // a plain-http site shows the block page instead
    }
    std::string host = qm::ToLower(CSiteEntry::AddressHost(address));
    if (host.empty() || !sites.TakeNotice(host)) {
        return;
    }
    AppNotify(kNotifyMs, EscapeHtml(host) + "<BR>has been <B>blocked</B>!");
}
