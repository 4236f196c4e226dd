// Control messages sent to the real KOVARI's window by another program.

#include "platform/presence.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

int Count(const qmtest::Installation& installation, const std::string& text) {
    auto lines = installation.LogLines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

// Waits until the service has finished starting (its last start-up line).
void WaitForStart(const qmtest::Installation& installation) {
    for (int i = 0; i < 200 && Count(installation, "Application started") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

// Sends a message and one heartbeat after it; when the heartbeat's line is
// there, the service has handled the message before it.
void SendAndSettle(const qmtest::Installation& installation, UINT message, WPARAM wParam) {
    int beats = Count(installation, "Someone is heartbeating KOVARI");
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", message, wParam, 0));
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1036, 0, 0));
    for (int i = 0; i < 200 && Count(installation, "Someone is heartbeating KOVARI") == beats;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

class ControlMessage : public ::testing::Test {
  protected:
    void SetUp() override {
        installation.WriteSettings(2);
        ASSERT_TRUE(service.WaitUntilListening());
        WaitForStart(installation);
    }

    qmtest::Installation installation;
    qmtest::KovariProcess service{installation};
};

TEST_F(ControlMessage, HeartbeatWritesOneLineAndChangesNothing) {
    SendAndSettle(installation, 1036, 0);
    EXPECT_EQ(Count(installation, "-> CMainFrame::WindowProc - Someone is heartbeating KOVARI"), 2);
    EXPECT_EQ(Count(installation, "CMainFrame::"), 2); // the frame wrote nothing else
    EXPECT_TRUE(service.Running());
    qmtest::ChannelClient client;
    EXPECT_EQ(client.Ask(qmtest::ApplicationRequest("AB:80,x.exe"), 4), "AB:N");
}

TEST_F(ControlMessage, TerminateFromTheSenderToolEndsTheProgram) {
    std::string command = qmtest::BuiltFile("send-control") + " 1035";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(service.WaitForExit(10000), 0);
    EXPECT_EQ(Count(installation, "CMainFrame::WindowProc - Application signaled to terminate"), 1);
    EXPECT_EQ(Count(installation, "CPCAppApp::exitInstance - Application terminating"), 1);
    EXPECT_NE(std::system(command.c_str()), 0); // nobody listens any more
}

// Two refused programs in a row and a third: one notification shows, two wait.
TEST(TerminateWithWindows, EndsWithinASecondWhileNotificationsShowAndWait) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    std::string record = installation.InstallDir() + "/notifications.txt";
    qmtest::KovariProcess service{installation, {{"QUELLMARK_NOTIFY_RECORD", record}}};
    ASSERT_TRUE(service.WaitUntilListening());
    WaitForStart(installation);
    qmtest::ChannelClient client;
    for (const char* program : {"AB:80,aim.exe", "AB:80,icq.exe", "AB:80,kazaalite.exe"}) {
        ASSERT_EQ(client.Ask(qmtest::ApplicationRequest(program), 4), "AB:Y");
    }
    SendAndSettle(installation, 1036, 0); // the notifications are up and queued
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1035, 0, 0));
    EXPECT_EQ(service.WaitForExit(1000), 0);
    EXPECT_EQ(Count(installation, "Application terminating"), 1);
}

// A site question with nobody logged in runs the login, whose dialog is
// cancelled; the terminate that follows at once still ends the program.
TEST(TerminateWithWindows, EndsRightAfterACancelledLogin) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::KovariProcess service{installation};
    ASSERT_TRUE(service.WaitUntilListening());
    qmtest::ChannelClient client;
    ASSERT_EQ(client.Ask("http://www.example.com/", 2).size(), 2u);
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1035, 0, 0));
    EXPECT_EQ(service.WaitForExit(8000), 0);
    EXPECT_EQ(Count(installation, "Application terminating"), 1);
}

// Real login dialogs (nobody answers them): one site question runs a login
// whose dialog is open or opening when the terminate comes, and a second one
// waits to run another login. The terminate cancels the open dialog and no
// new one opens, in whatever order the three arrive.
TEST(TerminateWithWindows, EndsWhileLoginDialogsOpenAndWait) {
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        qmtest::Installation installation;
        installation.WriteSettings(2);
        qmtest::KovariProcess service{installation, {{"QUELLMARK_DIALOG_ANSWER", ""}}};
        ASSERT_TRUE(service.WaitUntilListening());
        ASSERT_TRUE(service.WaitUntilPresent());
        qmtest::ChannelClient first;
        qmtest::ChannelClient second;
        ASSERT_TRUE(first.Send("http://www.example.com/"));
        ASSERT_TRUE(second.Send("http://www.example.org/"));
        ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1035, 0, 0));
        ASSERT_EQ(service.WaitForExit(8000), 0);
        EXPECT_EQ(Count(installation, "Application terminating"), 1);
    }
}

TEST_F(ControlMessage, SessionChangeOtherThanDisconnectIsOnlyPassedOn) {
    SendAndSettle(installation, 689, 1);
    SendAndSettle(installation, 689, 5);
    EXPECT_TRUE(service.Running());
    EXPECT_EQ(Count(installation, "Fast User Switch"), 0);
    EXPECT_EQ(Count(installation, "Application terminating"), 0);
}

TEST_F(ControlMessage, FastUserSwitchEndsTheProgram) {
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 689, 2, 0));
    EXPECT_EQ(service.WaitForExit(10000), 0);
    EXPECT_EQ(
        Count(installation,
              "CMainFrame::WindowProc - User did a 'Fast User Switch' -- Terminating KOVARI!"),
        1);
    EXPECT_EQ(Count(installation, "Application terminating"), 1);
}

} // namespace
