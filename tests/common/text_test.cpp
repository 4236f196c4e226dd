#include "common/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, CaseFoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(qm::ToLower("AIM.EXE [x]@Z"), "aim.exe [x]@z");
    EXPECT_EQ(qm::ToUpper("aim.exe {x}`z"), "AIM.EXE {X}`Z");
    std::string high = "\xC4\xD6";
    EXPECT_EQ(qm::ToLower(high), high);
}

// Every byte value at every offset of a longer text folds like the one-byte rule.
TEST(Text, LowerCasingLongTextFoldsEachByteAlone) {
    std::string text;
    for (int round = 0; round < 3; ++round) {
        for (int c = 0; c < 256; ++c) {
            text += char(c);
        }
    }
    for (std::size_t start = 0; start < 9; ++start) {
        std::string part = text.substr(start);
        std::string lowered = qm::ToLower(part);
        ASSERT_EQ(lowered.size(), part.size());
        for (std::size_t i = 0; i < part.size(); ++i) {
            ASSERT_EQ(lowered[i], qm::ToLowerAscii(part[i])) << start << " " << i;
        }
    }
}

TEST(Text, CompareIgnoresCaseAndOrdersByLength) {
    EXPECT_TRUE(qm::EqualsNoCase("Aim.Exe", "aim.exe"));
    EXPECT_FALSE(qm::EqualsNoCase("aim.exe", "aim.exe "));
    EXPECT_EQ(qm::CompareNoCase("abc", "ABD"), -1);
    EXPECT_EQ(qm::CompareNoCase("abc", "AB"), 1);
    EXPECT_EQ(qm::CompareNoCase("", ""), 0);
    EXPECT_TRUE(qm::StartsWithNoCase("Host: x", "host:"));
    EXPECT_FALSE(qm::StartsWithNoCase("Ho", "host:"));
}

TEST(Text, FindNoCase) {
    EXPECT_EQ(qm::FindNoCase("abc Window.Open(", "window.open"), 4u);
    EXPECT_EQ(qm::FindNoCase("window.open window.open", "WINDOW.OPEN", 1), 12u);
    EXPECT_EQ(qm::FindNoCase("short", "longer text"), std::string_view::npos);
}

TEST(Text, TrimSpaces) {
    EXPECT_EQ(qm::TrimSpaces(" \t a b \r\n"), "a b");
    EXPECT_EQ(qm::TrimSpaces("   "), "");
}

TEST(Text, WithCrLfEndsEveryLineWithCarriageReturnAndLineFeed) {
    EXPECT_EQ(qm::WithCrLf("a\nb\r\n\nc"), "a\r\nb\r\n\r\nc");
    EXPECT_EQ(qm::WithCrLf("\n\n"), "\r\n\r\n");
    EXPECT_EQ(qm::WithCrLf("\r\r\n"), "\r\r\n"); // a lone carriage return stays
    EXPECT_EQ(qm::WithCrLf(""), "");
}

} // namespace
