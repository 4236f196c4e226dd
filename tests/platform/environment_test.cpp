#include "platform/environment.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(Environment, ExpandsBothFormsAndLeavesTheRest) {
    qmtest::ScopedEnv root("QM_TEST_ROOT", "/opt/lib");
    EXPECT_EQ(platform::ExpandEnvironment("$QM_TEST_ROOT/libZUL.so"), "/opt/lib/libZUL.so");
    EXPECT_EQ(platform::ExpandEnvironment("${QM_TEST_ROOT}x/a"), "/opt/libx/a");
    EXPECT_EQ(platform::ExpandEnvironment("a$/b$"), "a$/b$");
    EXPECT_EQ(platform::ExpandEnvironment("${QM_TEST_UNSET_NAME}/c"), "/c");
    EXPECT_EQ(platform::ExpandEnvironment("${unclosed"), "${unclosed");
}

TEST(Environment, WindowsCallsReportTheSizeNeeded) {
    qmtest::ScopedEnv root("QM_TEST_ROOT", "/r");
    char narrow[8];
    EXPECT_EQ(ExpandEnvironmentStringsA("$QM_TEST_ROOT/x", narrow, sizeof narrow), 5u);
    EXPECT_STREQ(narrow, "/r/x");
    EXPECT_EQ(ExpandEnvironmentStringsA("$QM_TEST_ROOT/xxxxxxxx", narrow, sizeof narrow), 12u);
    WCHAR wide[8];
    EXPECT_EQ(ExpandEnvironmentStringsW(u"${QM_TEST_ROOT}", wide, 8), 3u);
    EXPECT_EQ(std::u16string(wide), u"/r");
}

} // namespace
