#include "provider/informant.h"

#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

class BuildUrl : public ::testing::Test {
  protected:
    // An informant whose channel is never used: building a URL asks nobody.
    BuildUrl() : informant_(dir_.path(), 0) {}

    // The URL built from the text, or "(none)".
    std::string Build(const std::string& request) {
        char url[zul::CInformant::kUrlSize] = {};
        if (!informant_.BuildURL(url, request.data(), int(request.size()))) {
            return "(none)";
        }
        EXPECT_LT(::strnlen(url, sizeof url), sizeof url);
        return url;
    }

    qmtest::TempDir dir_;
    zul::CInformant informant_;
};

TEST_F(BuildUrl, HostAndPathAreJoinedInLowerCase) {
    EXPECT_EQ(Build("GET /News/Index.html HTTP/1.1\r\nHost: Alpha\r\nAccept: */*\r\n\r\n"),
              "http://alpha/news/index.html");
}

TEST_F(BuildUrl, AbsoluteFormIsKeptAndLowered) {
    EXPECT_EQ(Build("GET http://Alpha/a HTTP/1.0\r\nHost: other\r\n\r\n"), "http://alpha/a");
}

TEST_F(BuildUrl, PathWithoutSlashGetsTheScheme) {
    EXPECT_EQ(Build("GET alpha/a HTTP/1.0\r\n\r\n"), "http://alpha/a");
}

TEST_F(BuildUrl, PortOfTheHostHeaderStays) {
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nhost: alpha:8080\r\n\r\n"), "http://alpha:8080/x");
}

TEST_F(BuildUrl, LongPathIsCutToFitTheHost) {
    std::string host(20, 'h');
    std::string path = "/" + std::string(1199, 'p');
    std::string url = Build("GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(url.size(), 7u + 20u + 980u);
    EXPECT_EQ(url, "http://" + host + path.substr(0, 980));
}

TEST_F(BuildUrl, HostOverAThousandLeavesOnlyItsFirstThousand) {
    std::string host(1500, 'h');
    std::string url = Build("GET /abc HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(url, "http://" + std::string(1000, 'h'));
}

TEST_F(BuildUrl, AbsoluteFormIsCutTo1023) {
    std::string target = "http://alpha/" + std::string(2000, 'q');
    std::string url = Build("GET " + target + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(url, target.substr(0, 1023));
}

TEST_F(BuildUrl, LongPathWithoutSlashIsCutTo1000) {
    std::string target = "alpha/" + std::string(1500, 'q');
    EXPECT_EQ(Build("GET " + target + " HTTP/1.1\r\n\r\n"), "http://" + target.substr(0, 1000));
}

TEST_F(BuildUrl, PathAndHostOfExactlyAThousandAreKeptWhole) {
    std::string host(400, 'h');
    std::string path = "/" + std::string(599, 'p');
    EXPECT_EQ(Build("GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n"),
              "http://" + host + path);
}

TEST_F(BuildUrl, BareLineFeedsOtherMethodsAndTheHostLineItself) {
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nHost: alpha\nAccept: */*\n\n"), "http://alpha/x");
    EXPECT_EQ(Build("GET /x HTTP/1.1\nX-Host: beta\nHost:alpha\n\n"), "http://alpha/x");
    EXPECT_EQ(Build("POST /Form HTTP/1.1\r\nHost: alpha\r\n\r\n"), "http://alpha/form");
}

TEST_F(BuildUrl, RequestsWithoutAUrlGiveNone) {
    EXPECT_EQ(Build("GET /x\r\nHost: alpha\r\n\r\n"), "(none)");          // no " http/"
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nAccept: */*\r\n\r\n"), "(none)"); // no host
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nHost: alpha"), "(none)");         // no line feed
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nhost:"), "(none)");               // host at the end
    EXPECT_EQ(Build("GET HTTP/1.1\r\n"), "(none)");                       // blank inside "get "
}

TEST_F(BuildUrl, TextEndsAtTheFirstZeroByte) {
    std::string request = "GET /x HTTP/1.1\r\nHost: alpha\r\n\r\n";
    std::string cut = "GET /x HTTP/1.1\r\n" + std::string(1, '\0') + "Host: alpha\r\n\r\n";
    EXPECT_EQ(Build(request), "http://alpha/x");
    EXPECT_EQ(Build(cut), "(none)");
}

TEST_F(BuildUrl, EmptyHostLineGivesAnEmptyHost) {
    EXPECT_EQ(Build("GET /x HTTP/1.1\r\nHost: \nA: b\r\n\r\n"), "http:///x");
}

// Buffers of every length cut from hostile requests: no read or write outside
// the buffer (run under the address sanitizer), and a terminated URL.
TEST_F(BuildUrl, HostileBuffersStayInsideTheirBounds) {
    std::vector<std::string> requests = {
        "GET /" + std::string(5000, 'a') + " HTTP/1.1\r\nHost: " + std::string(5000, 'b') + "\r\n",
        "GET " + std::string(5000, 'c') + " HTTP/1.1\r\n",
        "GET http://" + std::string(5000, 'd') + " HTTP/1.1\r\n",
        "GET /p HTTP/1.1\r\nHost: " + std::string(3000, 'e'),
        "GET /p HTTP/1.1\r\nHost:\n",
        "GET /p HTTP/1.1\r\nHost: \n",
        "GET \0\0\0 HTTP/1.1\r\nHost: a\r\n"s,
        "GET /a HTTP/1.1\r\nHo\0st: a\r\n"s,
        "GET",
        "GET ",
        "GET  HTTP/",
    };
    for (const std::string& request : requests) {
        for (std::size_t cut = 0; cut <= request.size(); cut += (cut < 64 ? 1 : 97)) {
            std::vector<char> exact(request.begin(), request.begin() + long(cut));
            char url[zul::CInformant::kUrlSize];
            std::memset(url, 0, sizeof url);
            informant_.BuildURL(url, exact.data(), int(exact.size()));
            ASSERT_LT(::strnlen(url, sizeof url), sizeof url) << cut;
        }
    }
}

TEST_F(BuildUrl, StepsAreLoggedAtLevelTwo) {
    qmtest::MakeLogFolder(dir_.path());
    zul::CInformant verbose(dir_.path(), 2);
    char url[zul::CInformant::kUrlSize] = {};
    std::string request = "GET /a HTTP/1.1\r\nHost: b\r\n\r\n";
    ASSERT_TRUE(verbose.BuildURL(url, request.data(), int(request.size())));
    std::string log = qmtest::ReadLog(dir_.path());
    EXPECT_NE(log.find("-> CInformant::CInformant - Loading Informant 2\n"), std::string::npos);
    EXPECT_NE(log.find("-> CInformant::BuildURL - Starting to build URL.\n"), std::string::npos);
    EXPECT_NE(log.find("-> CInformant::BuildURL->szURLTemp - /a\n"), std::string::npos);
    EXPECT_NE(log.find("-> CInformant::BuildURL->szHostname - b\n"), std::string::npos);
    EXPECT_NE(log.find("-> CInformant::BuildURL->szURL - http://b/a\n"), std::string::npos);
    EXPECT_NE(log.find("-> CInformant::BuildURL - Done building URL.\n"), std::string::npos);
}

} // namespace
