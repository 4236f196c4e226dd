// Reloading the application blocking table of a member profile, in process:
// notifications go to the application object's notification window, which
// records them into a file.

#include "account/user.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class AppBlockReload : public ::testing::Test {
  protected:
    std::vector<std::string> Notifications() const {
        std::vector<std::string> lines;
        std::ifstream in(dir / "notifications.txt");
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    qmtest::TempDir dir;
    qmtest::ScopedEnv record{"QUELLMARK_NOTIFY_RECORD", dir / "notifications.txt"};
    CUser user;
};

TEST_F(AppBlockReload, NothingIsRefusedBeforeTheFirstLoad) {
    EXPECT_FALSE(user.IsApplicationBlocked("AB:6667,aim.exe"));
    EXPECT_TRUE(Notifications().empty());
}

TEST_F(AppBlockReload, AReloadNotifiesAgain) {
    user.LoadStartupLists();
    EXPECT_TRUE(user.IsApplicationBlocked("AB:80,msnmsgr.exe"));
    EXPECT_TRUE(user.IsApplicationBlocked("AB:80,msnmsgr.exe"));
    user.LoadStartupLists();
    EXPECT_TRUE(user.IsApplicationBlocked("AB:80,MSNMSGR.EXE"));
    const std::string line = "MSN Instant Messenger<BR>has been <B>blocked</B>!|5000";
    EXPECT_EQ(Notifications(), (std::vector<std::string>{line, line}));
}

TEST_F(AppBlockReload, LoadsBesideDecisionsOnAnotherThread) {
    user.LoadStartupLists();
    std::thread loader([this] {
        for (int i = 0; i < 200; ++i) {
            user.LoadStartupLists();
        }
    });
    int refused = 0;
    for (int i = 0; i < 2000; ++i) {
        refused += user.IsApplicationBlocked("AB:110,mail.exe") ? 1 : 0;
    }
    loader.join();
    EXPECT_EQ(refused, 2000);
    EXPECT_GE(Notifications().size(), 1u);
}

} // namespace
