// Which server names are public name resolvers: the resolvers' own domains
// with every name below them, single names exactly, nothing else.

#include "provider/name_resolvers.h"

#include <gtest/gtest.h>

TEST(NameResolvers, DomainsCoverTheirNamesSingleNamesOnlyThemselves) {
    for (const char* name : {"dns.google", "mozilla.cloudflare-dns.com", "chromium.dns.nextdns.io",
                             "dns.quad9.net", "doh.opendns.com"}) {
        EXPECT_TRUE(zul::IsPublicNameResolver(name)) << name;
    }
    for (const char* name : {"", "google", "notdns.google", "dns.google.test", "opendns.com",
                             "www.doh.opendns.com", "quad9.net", "www.cloudflare.com"}) {
        EXPECT_FALSE(zul::IsPublicNameResolver(name)) << name;
    }
}
