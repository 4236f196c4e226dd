// The block page's answers and the memory of blocked sites behind them.

#include "account/blocked_sites.h"
#include "service/block_page.h"

#include <gtest/gtest.h>

namespace {

std::string Get(const CBlockedSites& sites, const std::string& target) {
    return BlockPageAnswer("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4180\r\n\r\n", sites);
}

TEST(BlockPage, NamesTheSiteAndTheReasonRemembered) {
    CBlockedSites sites;
    sites.Record("http://www.denied.test/x", BlockReason::DenyList);
    sites.Record("https://Casino.Test/", BlockReason::Categories, (1u << 8) | (1u << 9));
    sites.Record("http://unrated.test/", BlockReason::NotRated);

    std::string denied = Get(sites, "/?site=http://www.denied.test/x/");
    EXPECT_TRUE(denied.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(denied.find("Content-Length: "), std::string::npos);
    EXPECT_NE(denied.find("<b id=\"site\">www.denied.test</b>"), std::string::npos);
    EXPECT_NE(denied.find("family's list of sites"), std::string::npos);
    EXPECT_NE(denied.find("Address: http://www.denied.test/x</font>"), std::string::npos);
    std::string casino = Get(sites, "/?site=https%3A%2F%2Fcasino.test%2F");
    EXPECT_NE(casino.find("<b>Gambling, Games</b>"), std::string::npos) << casino;
    EXPECT_NE(Get(sites, "/?site=http://unrated.test//").find("could not be rated"),
              std::string::npos);
    EXPECT_NE(Get(sites, "/?site=http://other.test/").find("no record"), std::string::npos);
    EXPECT_NE(Get(sites, "/").find("(no site named)"), std::string::npos);
    EXPECT_EQ(Get(sites, "/page.html?site=x").rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
    // No outside resources: nothing is loaded from anywhere.
    EXPECT_EQ(denied.find("src="), std::string::npos);
    EXPECT_NE(denied.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
}

TEST(BlockPage, SiteTextIsEscapedAndForeignRequestsAreDropped) {
    CBlockedSites sites;
    std::string page = Get(sites, "/?site=http://a.test/%3Cscript%3Ealert(1)%3C/script%3E\"'&|");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;&#124;"),
              std::string::npos);
    EXPECT_EQ(EscapeHtml(std::string("a\r\nb\x01<")), "ab&lt;");

    std::string head = BlockPageAnswer("HEAD /?site=http://a.test/ HTTP/1.0\r\n\r\n", sites);
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK"));
    EXPECT_TRUE(head.ends_with("\r\n\r\n")); // headers only
    for (const char* garbage :
         {"POST / HTTP/1.1\r\n\r\n", "GET /\r\n\r\n", "\x16\x03\x01\x02\x00\r\n\r\n",
          "GET http://x/ HTTP/1.1\r\n\r\n", "GET / SMTP/1.0\n\n", ""}) {
        EXPECT_EQ(BlockPageAnswer(garbage, sites), "") << garbage;
    }
}

TEST(BlockedSites, KeepTheLatestReasonOfABoundedNumberOfHosts) {
    CBlockedSites sites;
    sites.Record("http://first.test/", BlockReason::DenyList);
    std::uint64_t mark = sites.Mark();
    sites.RecordIfNoneSince("http://first.test/", mark, BlockReason::NotRated);
    EXPECT_EQ(sites.Find("FIRST.test")->reason, BlockReason::NotRated); // recorded before the mark
    mark = sites.Mark();
    sites.Record("https://first.test/", BlockReason::Categories, 4);
    sites.RecordIfNoneSince("http://first.test/", mark, BlockReason::NotRated);
    EXPECT_EQ(sites.Find("first.test")->reason, BlockReason::Categories);
    EXPECT_EQ(sites.Find("first.test")->categories, 4u);

    for (std::size_t i = 0; i < CBlockedSites::kCapacity; ++i) {
        sites.Record("http://host" + std::to_string(i) + ".test/", BlockReason::DenyList);
    }
    EXPECT_FALSE(sites.Find("first.test")); // the oldest went first
    EXPECT_TRUE(sites.Find("host0.test"));
    EXPECT_TRUE(sites.Find("host255.test"));
}

TEST(BlockedSites, AHostIsToldOncePerMinute) {
    CBlockedSites sites;
    sites.Record("https://a.test/", BlockReason::DenyList);
    sites.Record("https://b.test/", BlockReason::DenyList);
    auto start = CBlockedSites::Clock::now();
    EXPECT_TRUE(sites.TakeNotice("a.test", start));
    EXPECT_FALSE(sites.TakeNotice("A.TEST", start + std::chrono::seconds(59)));
    EXPECT_TRUE(sites.TakeNotice("b.test", start + std::chrono::seconds(1)));
    sites.Record("https://a.test/", BlockReason::NotRated); // decided again: still told
    EXPECT_FALSE(sites.TakeNotice("a.test", start + std::chrono::seconds(30)));
    EXPECT_TRUE(sites.TakeNotice("a.test", start + std::chrono::seconds(61)));
}

} // namespace
