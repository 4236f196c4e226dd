// Fast user switch: the session manager (the logind stand-in on a private
// bus) reports that this process's session is no longer the active one, and
// the running service ends.

#include "service/app.h"
#include "service/main_frame.h"
#include "tests/support/kovari_process.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
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

// Serves the event loop until the log holds the text; false after ten seconds.
// Events are served between short sleeps, so the wait lasts by the clock and
// not by how quickly the queue runs dry.
bool WaitForLine(const qmtest::Installation& installation, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (CountLines(installation, text) > 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Waits until the stand-in reports the session's Active property as wanted,
// then serves the events already received. The stand-in sends its change
// signal before it can answer this question, and the bus keeps that order,
// so the signal has reached this process when the answer says so.
bool WaitForActive(bool wanted) {
    QDBusInterface session("org.freedesktop.login1", "/org/freedesktop/login1/session/_31",
                           "org.freedesktop.login1.Session", QDBusConnection::systemBus());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (session.property("Active").toBool() != wanted) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QApplication::processEvents(QEventLoop::AllEvents);
    return true;
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
    ASSERT_TRUE(WaitForActive(true));
    app.MainFrame()->WindowProc(WM_KOVARI_HEARTBEAT, 0, 0);
    ASSERT_TRUE(WaitForLine(installation, "Someone is heartbeating KOVARI"));
    EXPECT_EQ(CountLines(installation, line), 1);
}

} // namespace
