#include "common/wide.h"

#include <gtest/gtest.h>

namespace {

TEST(Wide, RoundTripsUtf8ThroughUtf16) {
    std::string text = "Quellmark over MSAFD \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::u16string wide = qm::WideFromNarrow(text);
    EXPECT_EQ(wide.size(), 21u + 1 + 1 + 2); // the emoji takes a surrogate pair
    EXPECT_EQ(qm::NarrowFromWide(wide), text);
}

TEST(Wide, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(qm::WideFromNarrow("a\xFF"
                                 "b"),
              u"a\uFFFDb");
    EXPECT_EQ(qm::WideFromNarrow("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(qm::NarrowFromWide(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(Wide, FixedFieldsAreCutAndTerminated) {
    char16_t field[6];
    qm::CopyToWideField(u"abcdefgh", field, 6);
    EXPECT_EQ(qm::WideField(field, 6), u"abcde");
    qm::CopyToWideField(u"ab", field, 6);
    EXPECT_EQ(qm::WideField(field, 6), u"ab");
    EXPECT_EQ(field[5], u'\0');
    char16_t full[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(qm::WideField(full, 3), u"xyz"); // no terminator: stops at the capacity
}

} // namespace
