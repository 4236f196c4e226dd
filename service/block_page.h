#pragma once
// The block page: what the service's own page server answers to a browser
// that a blocked site was redirected from ("/?site=" + the blocked address).
// It names the site and why it was blocked, as far as the service remembers.

#include "account/blocked_sites.h"

#include <optional>
#include <string>
#include <string_view>

// The text with every character that means something in HTML (and "|", which
// the notification window uses as its separator) written as a character
// reference, and control characters left out.
std::string EscapeHtml(std::string_view text);

// The host named by a block page's site value: the host of an http or https
// address, else the text up to the first "/".
std::string BlockedHost(std::string_view site);

// The page for a site (the decoded site value) and what is known of it.
std::string BlockPageHtml(std::string_view site, const std::optional<BlockedSite>& record);

// The whole HTTP answer to a request head, or nothing when the request is not
// one a browser sends (the connection is then dropped).
std::string BlockPageAnswer(std::string_view head, const CBlockedSites& sites);
