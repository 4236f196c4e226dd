#include "platform/user_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <pwd.h>
#include <sys/wait.h>
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

// The name is remembered per user id: a process that changes its effective
// user is named by the new one.
TEST(GetUserName, FollowsAChangeOfEffectiveUser) {
    if (::geteuid() != 0 || !::getpwnam("nobody")) {
        GTEST_SKIP() << "needs root and the user nobody";
    }
    char name[257] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    ASSERT_STREQ(name, "root");
    pid_t child = ::fork();
    if (child == 0) {
        bool ok = ::seteuid(::getpwnam("nobody")->pw_uid) == 0;
        size = sizeof name;
        ok = ok && GetUserNameA(name, &size) && std::strcmp(name, "nobody") == 0;
        ok = ok && ::seteuid(0) == 0;
        size = sizeof name;
        ok = ok && GetUserNameA(name, &size) && std::strcmp(name, "root") == 0;
        ::_exit(ok ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
