// Naming the calling program before a connect: real programs built with
// different version information ask a stand-in service on 127.0.0.1:4100.

#include "platform/version_info.h"
#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/support/kovari_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using qmtest::ChannelServer;

// Runs a program to its end (killed after 20 s) and gives its exit status, or -1.
class ProgramRun {
  public:
    ProgramRun(const std::string& program, const std::string& dir, int port) {
        std::string portText = std::to_string(port);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(program.c_str(), program.c_str(), dir.c_str(), portText.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~ProgramRun() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    int Status() {
        for (int i = 0; i < 2000 && !reaped_; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return status_;
    }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = -1;
};

constexpr int kAllowed = 0;
constexpr int kRefused = 1;

class ProgramNaming : public ::testing::Test {
  protected:
    ProgramNaming() { qmtest::MakeLogFolder(dir_.path()); }

    int Check(const std::string& program, int port = 80) {
        return ProgramRun(qmtest::BuiltFile(program), dir_.path(), port).Status();
    }
    // Runs a copy of a built program under another file name.
    int CheckCopy(const std::string& program, const std::string& name, int port = 80) {
        std::string copy = dir_ / name;
        std::filesystem::copy_file(qmtest::BuiltFile(program), copy);
        return ProgramRun(copy, dir_.path(), port).Status();
    }
    static std::vector<std::string> Asked(ChannelServer& server) {
        std::vector<std::string> texts;
        for (const auto& [connection, text] : server.Requests()) {
            texts.push_back(text);
        }
        return texts;
    }
    bool Logged(const std::string& message) {
        return qmtest::LogHas(dir_.path(), "-> WSPConnect - " + message + "\n");
    }

    qmtest::TempDir dir_;
};

using Texts = std::vector<std::string>;

TEST_F(ProgramNaming, TwoTranslationsAreAskedOnceEach) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(Check("naming_two"), kAllowed);
    EXPECT_EQ(Asked(server), (Texts{"AB:80,first.exe", "AB:80,second.exe"}));
}

TEST_F(ProgramNaming, TheFirstRefusalEndsTheQuestions) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:Y"));
    EXPECT_EQ(Check("naming_two", 6667), kRefused);
    EXPECT_EQ(Asked(server), Texts{"AB:6667,first.exe"});
    EXPECT_TRUE(Logged("BLOCKING APPLICATION"));
}

TEST_F(ProgramNaming, TheSecondTranslationCanRefuse) {
    ChannelServer server([](const std::string& request) {
        return qmtest::ChannelAction{qmtest::ChannelAction::Reply,
                                     request.ends_with("second.exe") ? "AB:Y" : "AB:N"};
    });
    EXPECT_EQ(Check("naming_two"), kRefused);
    EXPECT_EQ(Asked(server).size(), 2u);
}

TEST_F(ProgramNaming, TheServiceItselfIsNeverAsked) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:Y"));
    EXPECT_EQ(Check("naming_kovari"), kAllowed);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_TRUE(Asked(server).empty());
}

TEST_F(ProgramNaming, RequestIsTheNameRecordedPaddedTo1024Bytes) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(Check("naming_chat"), kAllowed);
    std::string expected = "AB:80,chat.exe";
    expected.resize(1024, '\0');
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(server.Received()[0], expected);
}

TEST_F(ProgramNaming, ARenamedProgramFileKeepsItsRecordedName) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(CheckCopy("naming_chat", "renamed.bin"), kAllowed);
    EXPECT_EQ(Asked(server), Texts{"AB:80,chat.exe"});
}

TEST_F(ProgramNaming, WithoutVersionInformationTheFileNameIsAsked) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:Y"));
    EXPECT_EQ(CheckCopy("naming_plain", "prog.exe", 21), kRefused);
    EXPECT_EQ(Asked(server), Texts{"AB:21,prog.exe"});
    EXPECT_TRUE(Logged("Unable to size of files version info structure"));
    EXPECT_TRUE(Logged("BLOCKING APPLICATION ON PORT AND APP NAME"));
}

TEST_F(ProgramNaming, AGarbledSectionIsNoVersionInformation) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(Check("naming_garbled"), kAllowed);
    EXPECT_EQ(Asked(server), Texts{"AB:80,naming_garbled"});
    EXPECT_TRUE(Logged("Unable to size of files version info structure"));
}

TEST_F(ProgramNaming, ALastTranslationWithoutNameFallsBackToTheFileName) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(Check("naming_missing_last"), kAllowed);
    EXPECT_EQ(Asked(server), (Texts{"AB:80,found.exe", "AB:80,naming_missing_last"}));
    EXPECT_TRUE(Logged("No Filename was found!"));
}

TEST_F(ProgramNaming, WithoutATranslationListTheFileNameIsAsked) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    EXPECT_EQ(Check("naming_no_translation"), kAllowed);
    EXPECT_EQ(Asked(server), Texts{"AB:80,naming_no_translation"});
    EXPECT_TRUE(Logged("Getting translation info failed"));
}

TEST_F(ProgramNaming, TheChannelPortIsNeverChecked) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:Y"));
    EXPECT_EQ(Check("naming_plain", 4100), kAllowed);
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(ProgramNaming, AnUnreachableServiceAllowsEveryConnect) {
    {
        ChannelServer server(qmtest::FixedReplies("NN", "AB:Y"), true, false); // no port
        EXPECT_EQ(Check("naming_plain", 6667), kAllowed);
        EXPECT_EQ(Check("naming_two", 6667), kAllowed);
    }
    // Nothing runs and the installation folder holds no service to start.
    EXPECT_EQ(Check("naming_chat", 6667), kAllowed);
}

TEST(BuiltPrograms, TheServiceRecordsItsOwnName) {
    std::string kovari = qmtest::BuiltFile("KOVARI");
    DWORD size = platform::GetFileVersionInfoSizeA(kovari.c_str(), nullptr);
    ASSERT_NE(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(platform::GetFileVersionInfoA(kovari.c_str(), 0, size, info.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(
        platform::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    WORD translation[2];
    std::memcpy(translation, value, sizeof translation);
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\OriginalFilename",
                  translation[0], translation[1]);
    ASSERT_TRUE(platform::VerQueryValueA(info.data(), query, &value, &length));
    EXPECT_STREQ(static_cast<const char*>(value), "KOVARI.EXE");
}

} // namespace
