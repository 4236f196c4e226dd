#include "provider/name_resolvers.h"

#include <array>

namespace zul {
namespace {

// Domains where only resolvers live: the name itself and every name below it.
constexpr std::array<std::string_view, 4> kResolverDomains{
    "dns.google",
    "cloudflare-dns.com",
    "dns.nextdns.io",
    "adguard-dns.com",
};

// Single resolver names of the providers browsers use by default or offer.
constexpr std::array<std::string_view, 22> kResolverNames{
    "dns.google.com",
    "one.one.one.one",
    "dns.quad9.net",
    "dns9.quad9.net",
    "dns10.quad9.net",
    "dns11.quad9.net",
    "doh.opendns.com",
    "doh.familyshield.opendns.com",
    "doh.xfinity.com",
    "doh.dns.sb",
    "odvr.nic.cz",
    "public.dns.iij.jp",
    "dnsnl.alekberg.net",
    "doh.cleanbrowsing.org",
    "dns.switch.ch",
    "doh.quickline.ch",
    "private.canadianshield.cira.ca",
    "doh.libredns.gr",
    "doh.mullvad.net",
    "dns.mullvad.net",
    "doh.applied-privacy.net",
    "ordns.he.net",
};

bool IsAtOrBelow(std::string_view name, std::string_view domain) {
    return name == domain || (name.size() > domain.size() && name.ends_with(domain) &&
                              name[name.size() - domain.size() - 1] == '.');
}

} // namespace

bool IsPublicNameResolver(std::string_view serverName) {
    for (std::string_view domain : kResolverDomains) {
        if (IsAtOrBelow(serverName, domain)) {
            return true;
        }
    }
    for (std::string_view name : kResolverNames) {
        if (serverName == name) {
            return true;
        }
    }
    return false;
}

} // namespace zul
