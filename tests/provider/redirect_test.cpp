#include "provider/block_page.h"
#include "provider/informant.h"
#include "provider/provider_settings.h"

#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr SOCKET kSocket = 17;

class Redirect : public ::testing::Test {
  protected:
    Redirect() : informant_(dir_.path(), 0) {}

    qmtest::TempDir dir_;
    zul::CInformant informant_;
};

std::string RedirectText(const std::string& url) {
    return "HTTP/1.1 302 Found\nLocation: " + std::string(zul::BlockPageUrl()) + "?site=" + url +
           "/\n\n";
}

TEST(BlockPage, IsTheServicesOwnPageUntilTheSettingsSayOtherwise) {
    EXPECT_STREQ(zul::BlockPageUrl(), "http://127.0.0.1:4180/");
}

TEST_F(Redirect, MarkedSocketGetsTheRedirectInsteadOfTheAnswer) {
    informant_.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    std::vector<char> buffer(4096, 'z');
    DWORD length = DWORD(buffer.size());
    DWORD received = 300;
    informant_.CheckForRedirect(kSocket, buffer.data(), &length, &received);
    std::string expected = RedirectText("http://alpha/x");
    EXPECT_EQ(std::string(buffer.data()), expected);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(received, expected.size());
    EXPECT_FALSE(informant_.MostWanted().IsMostWanted(kSocket, nullptr));
}

TEST_F(Redirect, OtherSocketsAreLeftAlone) {
    informant_.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    char buffer[64] = "HTTP/1.1 200 OK\r\n";
    DWORD length = sizeof buffer;
    DWORD received = 17;
    informant_.CheckForRedirect(kSocket + 1, buffer, &length, &received);
    EXPECT_STREQ(buffer, "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(length, sizeof buffer);
    EXPECT_EQ(received, 17u);
    EXPECT_TRUE(informant_.MostWanted().IsMostWanted(kSocket, nullptr));
}

TEST_F(Redirect, TwoEntriesOfOneSocketRedirectInOrder) {
    informant_.MostWanted().Add(kSocket, "http://alpha/first", zul::BlockPageUrl());
    informant_.MostWanted().Add(kSocket, "http://alpha/second", zul::BlockPageUrl());
    for (const char* url : {"http://alpha/first", "http://alpha/second"}) {
        char buffer[512] = {};
        DWORD length = sizeof buffer;
        DWORD received = 0;
        informant_.CheckForRedirect(kSocket, buffer, &length, &received);
        EXPECT_EQ(std::string(buffer, received), RedirectText(url));
    }
    EXPECT_FALSE(informant_.MostWanted().IsMostWanted(kSocket, nullptr));
}

TEST_F(Redirect, LengthFieldOfThreeIsNeverRewritten) {
    informant_.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    char buffer[3] = {'a', 'b', 'c'};
    DWORD length = 3;
    DWORD received = 3;
    informant_.CheckForRedirect(kSocket, buffer, &length, &received);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(received, 3u);
    EXPECT_TRUE(informant_.MostWanted().IsMostWanted(kSocket, nullptr));
}

// The text is cut to the buffer's length; nothing, not even the zero byte, is
// written past it (the guard bytes stay).
TEST_F(Redirect, TextLongerThanTheBufferIsCutToItsLength) {
    informant_.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    std::vector<char> area(40 + 8, '#');
    DWORD length = 40;
    DWORD received = 40;
    informant_.CheckForRedirect(kSocket, area.data(), &length, &received);
    EXPECT_EQ(std::string(area.data(), 40), RedirectText("http://alpha/x").substr(0, 40));
    EXPECT_EQ(std::string(area.data() + 40, 8), std::string(8, '#'));
    EXPECT_EQ(length, 40u);
    EXPECT_EQ(received, 40u);
}

TEST_F(Redirect, NullPointersAreIgnored) {
    informant_.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    DWORD length = 100;
    DWORD received = 0;
    informant_.CheckForRedirect(kSocket, nullptr, &length, &received);
    char buffer[100] = {};
    informant_.CheckForRedirect(kSocket, buffer, nullptr, &received);
    informant_.CheckForRedirect(kSocket, buffer, &length, nullptr);
    EXPECT_EQ(length, 100u);
    EXPECT_TRUE(informant_.MostWanted().IsMostWanted(kSocket, nullptr));
}

TEST_F(Redirect, PopupCallsOfAListedSocketAreDisarmed) {
    informant_.Popups().Add(kSocket);
    std::string page = "<script>Window.Open('a'); x = 1; WINDOW.OPEN('b')</script>";
    std::string expected = "<script>POPBLOKR = ('a'); x = 1; POPBLOKR = ('b')</script>";
    std::vector<char> buffer(page.begin(), page.end());
    buffer.push_back('\0');
    DWORD length = DWORD(buffer.size());
    DWORD received = DWORD(page.size());
    informant_.CheckForRedirect(kSocket, buffer.data(), &length, &received);
    EXPECT_EQ(std::string(buffer.data(), page.size()), expected);
    EXPECT_EQ(received, page.size());
    EXPECT_EQ(length, page.size() + 1);
}

TEST_F(Redirect, PagesOfUnlistedSocketsAreUnchanged) {
    informant_.Popups().Add(kSocket);
    char buffer[] = "window.open(1)";
    DWORD length = sizeof buffer;
    DWORD received = sizeof buffer - 1;
    informant_.CheckForRedirect(kSocket + 1, buffer, &length, &received);
    EXPECT_STREQ(buffer, "window.open(1)");
}

TEST(DisablePopups, EveryMatchIsReplacedAndNothingElse) {
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    std::string page;
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        std::string filler(std::size_t(i * 7 % 23), char('a' + i % 26));
        page += filler + (i % 2 ? "window.open(" : "wInDoW.oPeN(");
        expected += filler + "POPBLOKR = (";
    }
    page += "window.ope";
    expected += "window.ope";
    informant.DisablePopups(page.data(), DWORD(page.size()));
    EXPECT_EQ(page, expected);
}

TEST(DisablePopups, ScanStopsAtTheFirstZeroByteAndTheLength) {
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    std::string page = std::string("window.open(") + '\0' + "window.open(";
    informant.DisablePopups(page.data(), DWORD(page.size()));
    EXPECT_EQ(page, std::string("POPBLOKR = (") + '\0' + "window.open(");
    std::string shorter = "xwindow.open(";
    informant.DisablePopups(shorter.data(), 11);
    EXPECT_EQ(shorter, "xwindow.open(");
}

// The pop-up scan against the plain way of doing it (a search of a lower-cased
// copy up to the first zero byte), over pages made of the pattern's pieces.
TEST(DisablePopups, FindsWhatASearchOfALowerCasedCopyFinds) {
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    const std::vector<std::string> pieces{
        "window.open", "WINDOW.OPEN",        "wInDoW",   ".oPeN",        "w", ".", "indow.", "open",
        "x",           std::string(1, '\0'), "\xc3\x9f", "window..open", "ww"};
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        for (int n = int(next() % 12); n >= 0; --n) {
            page += pieces[next() % pieces.size()];
        }
        std::string expected = page;
        std::string lower = expected.substr(0, ::strnlen(expected.data(), expected.size()));
        for (char& c : lower) {
            c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
        }
        for (std::size_t at = lower.find("window.open"); at != std::string::npos;
             at = lower.find("window.open", at + 1)) {
            expected.replace(at, 11, "POPBLOKR = ");
        }
        informant.DisablePopups(page.data(), DWORD(page.size()));
        ASSERT_EQ(page, expected) << "round " << round;
    }
}

TEST_F(Redirect, RedirectIsLogged) {
    qmtest::MakeLogFolder(dir_.path());
    zul::ProcessSettings() = {dir_.path(), 2};
    zul::CInformant verbose(dir_.path(), 2);
    verbose.MostWanted().Add(kSocket + 5, "http://a/", zul::BlockPageUrl());
    verbose.MostWanted().Add(kSocket, "http://alpha/x", zul::BlockPageUrl());
    char buffer[256] = {};
    DWORD length = sizeof buffer;
    DWORD received = 0;
    verbose.CheckForRedirect(kSocket, buffer, &length, &received);
    zul::ProcessSettings() = {};
    std::string log = qmtest::ReadLog(dir_.path());
    const char* lines[] = {
        "-> CMostWantedList::IsMostWanted - Wrong Socket let's try the nest one\n",
        "-> CMostWantedList::IsMostWanted - Socket found\n",
        "-> CInformant::CheckForRedirect - Found a Socket to block - REDIRECTING\n",
        "-> CInformant::CheckForRedirect - Removing Socket from Evil Socket list\n",
        "-> CInformant::CheckForRedirect - Socket Removed\n",
        "-> CInformant::CheckForRedirect() - Done checking for redirect\n",
    };
    std::size_t at = 0;
    for (const char* line : lines) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    }
}

} // namespace
