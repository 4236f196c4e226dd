#include "platform/shell.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        if (text.str().find("done") != std::string::npos) {
            return text.str();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
}

void WriteScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

TEST(ShellOpen, StartsTheProgramDetachedWithoutTheSocketHost) {
    qmtest::TempDir dir;
    std::string out = dir / "out";
    WriteScript(dir / "prog", "read -r stat < /proc/$$/stat\n"
                              "echo \"pid=$$ stat=$stat preload=[$LD_PRELOAD]\" > '" +
                                  out +
                                  "'\n"
                                  "echo done >> '" +
                                  out + "'\n");
    qmtest::ScopedEnv preload("LD_PRELOAD", "/opt/x/libsockhost.so libm.so.6");
    EXPECT_GT(platform::ShellOpen(dir / "prog"), 32);
    std::string text = WaitForFile(out);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("preload=[libm.so.6]"), std::string::npos) << text;
    // Field 6 of the stat line is the session id: the program runs in a session
    // of its own, and it is not the caller's child.
    std::istringstream fields(text.substr(text.find(") ") + 2));
    std::string state, parent, group, session;
    fields >> state >> parent >> group >> session;
    EXPECT_NE(session, std::to_string(::getsid(0))) << text;
    EXPECT_NE(parent, std::to_string(::getpid()));
}

// The program holds none of the caller's descriptors: a caller whose output
// is read through a pipe is seen to end while the program still runs.
TEST(ShellOpen, TheProgramGetsNoneOfTheCallersDescriptors) {
    qmtest::TempDir dir;
    std::string out = dir / "out";
    std::string pidFile = dir / "pid";
    WriteScript(dir / "prog", "echo $$ > '" + pidFile + "'\nls -l /proc/$$/fd > '" + out +
                                  "'\necho done >> '" + out + "'\nexec sleep 30\n");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    int saved = ::dup(1);
    ::dup2(pipeFds[1], 1);
    ::close(pipeFds[1]);
    std::intptr_t result = platform::ShellOpen(dir / "prog");
    ::dup2(saved, 1);
    ::close(saved);
    EXPECT_GT(result, 32);
    std::string text = WaitForFile(out);
    pollfd end{pipeFds[0], POLLIN, 0};
    char byte;
    EXPECT_EQ(::poll(&end, 1, 10000), 1);
    EXPECT_EQ(::read(pipeFds[0], &byte, 1), 0); // nobody else holds the pipe
    ::close(pipeFds[0]);
    pid_t program = 0;
    std::ifstream(pidFile) >> program;
    if (program > 0) {
        ::kill(program, SIGKILL);
    }
    ASSERT_FALSE(text.empty());
    // The shell's own descriptors (its script, its redirections) aside, the
    // program holds /dev/null only: no pipe, socket or file of the caller.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t arrow = line.find(" -> ");
        if (arrow != std::string::npos) {
            std::string target = line.substr(arrow + 4);
            EXPECT_TRUE(target == "/dev/null" || target == out || target == dir / "prog") << text;
        }
    }
}

TEST(ShellOpen, FailuresAreWindowsErrorNumbers) {
    qmtest::TempDir dir;
    EXPECT_EQ(platform::ShellOpen(dir / "missing"), 2);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(platform::ShellOpen(dir / "file/below"), 3);
    ::chmod((dir / "file").c_str(), 0644);
    EXPECT_EQ(platform::ShellOpen(dir / "file"), 5);
    std::filesystem::permissions(dir / "file", std::filesystem::perms::owner_all);
    EXPECT_EQ(platform::ShellOpen(dir / "file"), 11); // no interpreter line, not a program
}

TEST(ShellOpen, PreloadKeepsEverythingButTheSocketHost) {
    EXPECT_EQ(platform::PreloadWithoutSocketHost("libsockhost.so"), "");
    EXPECT_EQ(platform::PreloadWithoutSocketHost("/a/libsockhost.so:/b/libx.so"), "/b/libx.so");
    EXPECT_EQ(platform::PreloadWithoutSocketHost("liba.so  libsockhost.so libb.so"),
              "liba.so:libb.so");
    EXPECT_EQ(platform::PreloadWithoutSocketHost(""), "");
}

} // namespace
