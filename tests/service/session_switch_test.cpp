// Fast user switch: the session manager (the logind stand-in on a private
// bus) reports that this process's session is no longer the active one, and
// the running service ends.

#include "service/app.h"
#include "service/main_frame.h"
#include "tests/support/kovari_process.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A child program with its standard input and output on pipes; killed at the end.
class Child {
  public:
    explicit Child(std::vector<std::string> argv) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            std::vector<char*> args;
            for (auto& arg : argv) {
                args.push_back(arg.data());
            }
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(input_);
        ::close(output_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // One line of output, without its line end; empty after the timeout.
    std::string ReadLine(int timeoutMs = 10000) {
        std::string line;
        char c = 0;
        pollfd ready{output_, POLLIN, 0};
        while (::poll(&ready, 1, timeoutMs) == 1 && ::read(output_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    void WriteLine(const std::string& line) {
        std::string text = line + "\n";
        ASSERT_EQ(::write(input_, text.data(), text.size()), ssize_t(text.size()));
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

int CountLines(const qmtest::Installation& installation, const std::string& text) {
    auto lines = installation.LogLines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

// Serves the event loop until the log holds the text, or a few seconds passed.
bool WaitForLine(const qmtest::Installation& installation, const std::string& text) {
    for (int i = 0; i < 300; ++i) {
        if (CountLines(installation, text) > 0) {
            return true;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return false;
}

TEST(SessionSwitch, InactiveSessionEndsTheServiceAndOtherChangesArePassedOn) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", installation.RegistryDir());
    Child bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
    std::string address = bus.ReadLine();
    ASSERT_FALSE(address.empty());
    qmtest::ScopedEnv systemBus("DBUS_SYSTEM_BUS_ADDRESS", address);
    Child logind({qmtest::BuiltFile("logind-stand-in")});
    ASSERT_EQ(logind.ReadLine(), "ready");

    CPCAppApp& app = *CPCAppApp::Current();
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(app.MainFrame()->RegisterSessionNotification());

    const std::string line =
        "CMainFrame::WindowProc - User did a 'Fast User Switch' -- Terminating KOVARI!";
    logind.WriteLine("inactive");
    ASSERT_TRUE(WaitForLine(installation, line));
    // Back to the active session: a console connect, only passed on.
    logind.WriteLine("active");
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    app.MainFrame()->WindowProc(WM_KOVARI_HEARTBEAT, 0, 0);
    ASSERT_TRUE(WaitForLine(installation, "Someone is heartbeating KOVARI"));
    EXPECT_EQ(CountLines(installation, line), 1);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // also when the test list is read
    }
    CPCAppApp app(argc, argv);
    return RUN_ALL_TESTS();
}
