// Site entries: a list entry and a channel address split into their three
// parts and matched, and a pop-up site as a member types it normalised.

#include "account/site_entry.h"
#include "fuzz/fuzz_input.h"
#include "ui/popup_site.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::string site = input.Part();
    std::string address = input.Rest();

    CSiteEntry entry = CSiteEntry::FromSite(site);
    CSiteEntry host = CSiteEntry::FromAddress(address);
    entry.Matches(host);
    host.Matches(entry);
    if (!entry.Matches(entry) || !host.Matches(host)) {
        std::abort(); // every entry matches its own site
    }
    std::string pattern;
    if (!NormalizePopupSite(site, pattern) && pattern.empty()) {
        std::abort(); // an accepted site gives a pattern
    }
    return 0;
}
