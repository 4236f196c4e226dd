#pragma once
// One site of the member's allow, deny or pop-up lists, split at dots from the
// right: news.example.com gives prefix "news", domain "example", top level "com".
// A label "*" stands for any value.

#include <string>
#include <string_view>

struct CSiteEntry {
    std::string prefix;
    std::string domain;
    std::string topLevel;

    // Splits a host or site text into its three parts.
    static CSiteEntry FromSite(std::string_view site);
    // The host of a channel address ("http://host/path" or "https://host/path"):
    // the text after the scheme up to the first "/"; empty without a "/". Any
    // address not beginning with "https://" has its first seven characters
    // taken as the scheme.
    static std::string_view AddressHost(std::string_view address);
    static CSiteEntry FromAddress(std::string_view address);

    // True when every part is "*" or equals the address's part, ignoring case.
    bool Matches(const CSiteEntry& address) const;
};
