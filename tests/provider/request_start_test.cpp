// Recognising the start of an HTTP request of any method, with either line
// ending, and when enough of it has come to build its URL.

#include "provider/http_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zul::ReadRequestStart;
using zul::RequestStart;

TEST(RequestStart, EveryMethodWithAHostLineIsReady) {
    for (std::string method : {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        EXPECT_EQ(ReadRequestStart(method + " /a HTTP/1.1\r\nHost: x\r\n"), RequestStart::Ready);
        EXPECT_EQ(ReadRequestStart(method + " /a HTTP/1.1\nHost: x\n"), RequestStart::Ready);
    }
    EXPECT_EQ(ReadRequestStart("GET http://x/a HTTP/1.0\r\n"), RequestStart::Ready);
    EXPECT_EQ(ReadRequestStart("GET /a HTTP/1.0\r\nAccept: */*\r\n\r\n"), RequestStart::Ready);
}

TEST(RequestStart, StartsCutAnywhereWaitForMore) {
    std::string request = "POST /form HTTP/1.1\r\nAccept: */*\r\nHost: example\r\n";
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
        EXPECT_EQ(ReadRequestStart(request.substr(0, cut)), RequestStart::Partial) << cut;
    }
    EXPECT_EQ(ReadRequestStart(request), RequestStart::Ready);
}

TEST(RequestStart, OtherBytesAreNoRequest) {
    for (std::string text :
         std::vector<std::string>{"get / HTTP/1.1\r\n", "HTTP/1.1 200 OK\r\n", "HELLO there\r\n",
                                  "\x16\x03\x01", "{\"json\": 1}", std::string(30, 'A')}) {
        EXPECT_EQ(ReadRequestStart(text), RequestStart::NotRequest) << text;
    }
    EXPECT_FALSE(zul::BeginsWithMethod("GET"));
    EXPECT_TRUE(zul::BeginsWithMethod("PROPFIND /"));
}

TEST(RequestStart, GatheringStopsAtItsBound) {
    std::string start = "GET /" + std::string(zul::kRequestStartMax, 'p');
    EXPECT_EQ(ReadRequestStart(start.substr(0, zul::kRequestStartMax - 1)), RequestStart::Partial);
    EXPECT_EQ(ReadRequestStart(start), RequestStart::Ready);
}

} // namespace
