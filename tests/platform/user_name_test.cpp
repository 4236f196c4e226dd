#include "platform/user_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace {

TEST(GetUserName, NamesTheEffectiveUser) {
    char name[257] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    EXPECT_STREQ(name, ::getpwuid(::geteuid())->pw_name);
    EXPECT_EQ(size, std::strlen(name) + 1);
}

TEST(GetUserName, SmallBufferReportsTheSizeNeeded) {
    char name[1] = {'x'};
    DWORD size = sizeof name;
    EXPECT_FALSE(GetUserNameA(name, &size));
    EXPECT_EQ(size, std::strlen(::getpwuid(::geteuid())->pw_name) + 1);
    EXPECT_EQ(name[0], 'x');
    EXPECT_FALSE(GetUserNameA(nullptr, &size));
}

} // namespace
