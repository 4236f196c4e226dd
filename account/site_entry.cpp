#include "account/site_entry.h"

#include "common/text.h"

namespace {

constexpr std::size_t kSchemeLength = 7; // "http://"
constexpr std::string_view kSecureScheme = "https://";

bool PartMatches(const std::string& pattern, const std::string& value) {
    return pattern == "*" || qm::EqualsNoCase(pattern, value);
}

} // namespace

CSiteEntry CSiteEntry::FromSite(std::string_view site) {
    CSiteEntry entry;
    std::size_t last = site.rfind('.');
    if (last == std::string_view::npos) {
        entry.topLevel = site;
        return entry;
    }
    entry.topLevel = site.substr(last + 1);
    std::string_view rest = site.substr(0, last);
    std::size_t before = rest.rfind('.');
    if (before == std::string_view::npos) {
        entry.domain = rest;
        return entry;
    }
    entry.domain = rest.substr(before + 1);
    entry.prefix = rest.substr(0, before);
    return entry;
}

std::string_view CSiteEntry::AddressHost(std::string_view address) {
    std::size_t scheme =
        qm::StartsWithNoCase(address, kSecureScheme) ? kSecureScheme.size() : kSchemeLength;
    std::string_view rest = address.size() > scheme ? address.substr(scheme) : "";
    std::size_t slash = rest.find('/');
    return slash == std::string_view::npos ? std::string_view() : rest.substr(0, slash);
}

CSiteEntry CSiteEntry::FromAddress(std::string_view address) {
    return FromSite(AddressHost(address));
}

bool CSiteEntry::Matches(const CSiteEntry& address) const {
    return PartMatches(domain, address.domain) && PartMatches(topLevel, address.topLevel) &&
           PartMatches(prefix, address.prefix);
}
