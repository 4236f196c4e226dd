#include "platform/guid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace {

std::string Text(const GUID& guid) {
    WCHAR wide[39];
    EXPECT_EQ(StringFromGUID2(guid, wide, 39), 39);
    return std::string(wide, wide + 38);
}

TEST(Guid, NewGuidsAreDistinctVersionFourGuids) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        GUID guid{};
        ASSERT_EQ(CoCreateGuid(&guid), S_OK);
        EXPECT_EQ(guid.Data3 >> 12, 4);
        EXPECT_EQ(guid.Data4[0] & 0xC0, 0x80);
        seen.insert(Text(guid));
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(CoCreateGuid(nullptr), E_POINTER);
}

TEST(Guid, TextFormIsBracedUpperCaseInFieldOrder) {
    GUID guid{0xE70F1AA0, 0xAB8B, 0x11CF, {0x8C, 0xA3, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};
    EXPECT_EQ(Text(guid), "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}");
    WCHAR small[38];
    EXPECT_EQ(StringFromGUID2(guid, small, 38), 0);
    EXPECT_TRUE(std::regex_match(Text(GUID{}), std::regex("\\{0{8}-0{4}-0{4}-0{4}-0{12}\\}")));
}

} // namespace
