#pragma once
// Public resolvers that answer name lookups over HTTPS. A browser that looks
// names up there gets a site's HTTPS records, with the keys of an encrypted
// ClientHello, where the filter cannot refuse them; refused, browsers fall
// back to the computer's own name server.

#include <string_view>

namespace zul {

// True for the lower-case server name of a public DNS-over-HTTPS resolver:
// one of the names browsers use by default or offer in their settings, or a
// name below one of the resolvers' own domains.
bool IsPublicNameResolver(std::string_view serverName);

} // namespace zul
