#include "tests/support/kovari_process.h"

#include "platform/presence.h"
#include "tests/support/channel_client.h"
#include "tests/support/qt_tsan.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qmtest {

std::string BuiltFile(const std::string& name) {
    return std::string(QM_BIN_DIR) + "/" + name;
}

Installation::Installation() {
    std::filesystem::create_directories(InstallDir() + "/Logs");
}

void Installation::WriteSettings(int debugLevel) const {
    std::ofstream(dir_ / "HKEY_LOCAL_MACHINE.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quellmark\\Settings]\n\"Dir\"=\""
        << InstallDir() << "\"\n";
    if (debugLevel >= 0) {
        char level[16];
        std::snprintf(level, sizeof level, "%08x", unsigned(debugLevel));
        std::ofstream(dir_ / "HKEY_CURRENT_USER.reg")
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quellmark\\Settings]\n"
            << "\"DebugLevel\"=dword:" << level << "\n";
    }
}

std::vector<std::string> Installation::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(LogFile());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

KovariProcess::KovariProcess(const Installation& installation,
                             const std::map<std::string, std::string>& extraEnv,
                             const std::string& account) {
    const passwd* user = account.empty() ? nullptr : ::getpwnam(account.c_str());
    std::string program = BuiltFile("KOVARI");
#if defined(__SANITIZE_THREAD__)
    // KOVARI built with the sanitizer runs Qt's threads as the tests do.
    std::string qtSuppressions = installation.RegistryDir() + "/qt_tsan.supp";
    std::ofstream(qtSuppressions) << kQtTsanSuppressions;
#endif
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("QUELLMARK_REGISTRY_DIR", installation.RegistryDir().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("LD_PRELOAD");
        // No real window waits for a person: boxes are recorded and the login
        // dialog is cancelled, unless the test says otherwise.
        ::setenv("QUELLMARK_MSGBOX_RECORD", (installation.RegistryDir() + "/msgbox.txt").c_str(),
                 1);
        ::setenv("QUELLMARK_DIALOG_ANSWER", "0", 1);
#if defined(__SANITIZE_THREAD__)
        ::setenv("TSAN_OPTIONS", ("suppressions=" + qtSuppressions).c_str(), 1);
#endif
        for (const auto& [name, value] : extraEnv) {
            if (value.empty()) {
                ::unsetenv(name.c_str());
            } else {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
        }
        if (user && (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 ||
                     ::setuid(user->pw_uid) != 0)) {
            ::_exit(126);
        }
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

KovariProcess::~KovariProcess() {
    Stop();
}

void KovariProcess::Pause() {
    if (Running()) {
        ::kill(pid_, SIGSTOP);
    }
}

void KovariProcess::Stop() {
    if (pid_ <= 0 || reaped_) {
        return;
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    reaped_ = true;
    WaitForPresence(false, 5000);
}

namespace {

template <typename Condition> bool WaitFor(int timeoutMs, Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

} // namespace

bool WaitForPresence(bool present, int timeoutMs) {
    return WaitFor(timeoutMs, [&] { return platform::IsPresent("VRA_Class") == present; });
}

bool KovariProcess::WaitUntilPresent(int timeoutMs) const {
    return WaitFor(timeoutMs, [&] { return Running() && platform::IsPresent("VRA_Class"); });
}

bool KovariProcess::WaitUntilListening(int timeoutMs) const {
    return WaitFor(timeoutMs, [&] { return Running() && ChannelClient().Connected(); });
}

bool KovariProcess::Running() const {
    return pid_ > 0 && !reaped_ && ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

int KovariProcess::WaitForExit(int timeoutMs) {
    int status = 0;
    bool ended = WaitFor(timeoutMs, [&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) {
        return -1;
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace qmtest
