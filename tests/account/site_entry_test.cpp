// Site entries and matching addresses against them.

#include "account/site_entry.h"

#include <gtest/gtest.h>

namespace {

bool Matches(const char* site, const char* address) {
    return CSiteEntry::FromSite(site).Matches(CSiteEntry::FromAddress(address));
}

TEST(SiteEntry, SplitsAtDotsFromTheRight) {
    CSiteEntry news = CSiteEntry::FromSite("news.example.com");
    EXPECT_EQ(news.prefix, "news");
    EXPECT_EQ(news.domain, "example");
    EXPECT_EQ(news.topLevel, "com");
    CSiteEntry star = CSiteEntry::FromSite("*.example.com");
    EXPECT_EQ(star.prefix, "*");
    CSiteEntry plain = CSiteEntry::FromSite("example.com");
    EXPECT_EQ(plain.prefix, "");
    EXPECT_EQ(plain.domain, "example");
    CSiteEntry single = CSiteEntry::FromSite("localhost");
    EXPECT_EQ(single.topLevel, "localhost");
    EXPECT_EQ(single.domain, "");
    CSiteEntry deep = CSiteEntry::FromSite("a.b.example.com");
    EXPECT_EQ(deep.prefix, "a.b");
}

TEST(SiteEntry, PlainEntryMatchesOnlyItsOwnHost) {
    EXPECT_TRUE(Matches("example.com", "http://example.com/"));
    EXPECT_FALSE(Matches("example.com", "http://news.example.com/"));
    EXPECT_TRUE(Matches("*.example.com", "http://example.com/a"));
    EXPECT_TRUE(Matches("*.example.com", "http://news.example.com/a"));
}

TEST(SiteEntry, LongerPrefixMustMatchWhole) {
    EXPECT_TRUE(Matches("a.b.example.com", "http://a.b.example.com/"));
    EXPECT_FALSE(Matches("a.b.example.com", "http://b.example.com/"));
    EXPECT_FALSE(Matches("a.b.example.com", "http://x.a.b.example.com/"));
}

TEST(SiteEntry, CaseIsIgnored) {
    EXPECT_TRUE(Matches("News.Example.COM", "http://news.example.com/"));
}

TEST(SiteEntry, PortBecomesPartOfTheTopLevelLabel) {
    CSiteEntry address = CSiteEntry::FromAddress("http://news.example.com:8080/");
    EXPECT_EQ(address.topLevel, "com:8080");
    EXPECT_FALSE(Matches("news.example.com", "http://news.example.com:8080/"));
    EXPECT_FALSE(Matches("*.example.com", "http://news.example.com:8080/"));
}

TEST(SiteEntry, AddressWithoutPathOrTooShortHasNoHost) {
    CSiteEntry noPath = CSiteEntry::FromAddress("http://example.com");
    EXPECT_EQ(noPath.topLevel, "");
    EXPECT_EQ(noPath.domain, "");
    EXPECT_FALSE(Matches("example.com", "http://example.com"));
    EXPECT_FALSE(Matches("example.com", "http"));
    EXPECT_TRUE(Matches("*.*.*", "http://any.where.org/"));
}

TEST(SiteEntry, SecureAddressesGiveTheHostAfterTheirScheme) {
    EXPECT_EQ(CSiteEntry::AddressHost("https://news.example.com/a/b"), "news.example.com");
    EXPECT_EQ(CSiteEntry::AddressHost("HTTPS://news.example.com/"), "news.example.com");
    EXPECT_EQ(CSiteEntry::AddressHost("https://example.com"), "");
    EXPECT_EQ(CSiteEntry::AddressHost("https://"), "");
    EXPECT_TRUE(Matches("example.com", "https://example.com/"));
    EXPECT_FALSE(Matches("example.com", "https://news.example.com/"));
    EXPECT_TRUE(Matches("*.example.com", "https://news.example.com/"));
    EXPECT_FALSE(Matches("news.example.com", "https://news.example.com:8443/"));
    // Any other scheme keeps the seven-character rule.
    EXPECT_EQ(CSiteEntry::AddressHost("http://news.example.com/"), "news.example.com");
    EXPECT_EQ(CSiteEntry::AddressHost("ftp://x.example.com/"), ".example.com");
}

} // namespace
