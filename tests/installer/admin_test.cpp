// The activation's edit of the preload list and the filtered account names.
#include "installer/admin/preload_list.h"
#include "platform/system_install.h"

#include <gtest/gtest.h>

namespace {

const std::string kHost = "/usr/lib/quellmark/libsockhost.so";

TEST(PreloadList, AddingAndRemovingGivesBackTheExactBytes) {
    for (std::string before :
         {"", "/lib/a.so\n", "/lib/a.so\n\n  /lib/b.so", "/lib/a.so /lib/b.so"}) {
        std::optional<std::string> added = qmadmin::WithLine(before, kHost);
        ASSERT_TRUE(added) << before;
        EXPECT_EQ(added->find(kHost + "\n"), 0u);
        EXPECT_FALSE(qmadmin::WithLine(*added, kHost)) << "added twice";
        EXPECT_EQ(qmadmin::WithoutLine(*added, kHost), before);
    }
}

TEST(PreloadList, OnlyWholeLinesAreRemoved) {
    EXPECT_FALSE(qmadmin::WithoutLine("/lib/a.so\n", kHost));
    EXPECT_FALSE(qmadmin::WithoutLine(kHost + ".old\n", kHost));
    EXPECT_EQ(qmadmin::WithoutLine("/lib/a.so\n" + kHost + "\n" + kHost, kHost), "/lib/a.so\n");
}

TEST(FilteredAccounts, NamesAreSplitAtCommasWithoutBlanksOrEmptyNames) {
    using V = std::vector<std::string>;
    EXPECT_EQ(platform::SplitAccounts(""), V{});
    EXPECT_EQ(platform::SplitAccounts(" lena , max,,tom "), (V{"lena", "max", "tom"}));
    EXPECT_EQ(platform::SplitAccounts(","), V{});
}

} // namespace
