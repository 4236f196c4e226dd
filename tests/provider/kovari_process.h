#pragma once
// The real filter service for end-to-end tests. KovariInstallation makes a
// temporary installation: a registry folder whose machine hive names Dir, and
// Dir itself with its Logs folder; QUELLMARK_REGISTRY_DIR and an offscreen Qt
// platform are set for this process and everything it starts. KovariProcess
// runs the service's program and kills it when the test ends. A test closes
// its own connections before the service ends (or has the kernel reset them),
// so the port is not left in TIME_WAIT on the service's side, which would
// keep the next service from listening on it.

#include "platform/presence.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qmtest {

inline std::string KovariBinary() {
    return std::string(QM_BIN_DIR) + "/KOVARI";
}

inline bool WaitForPresence(bool present, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (platform::IsPresent("VRA_Class") == present) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return platform::IsPresent("VRA_Class") == present;
}

class KovariInstallation {
  public:
    KovariInstallation()
        : registry_(root_.path() + "/registry"), dir_(root_.path() + "/install"),
          registryEnv_("QUELLMARK_REGISTRY_DIR", registry_),
          qtEnv_("QT_QPA_PLATFORM", "offscreen") {
        std::filesystem::create_directories(registry_);
        std::filesystem::create_directories(dir_ + "/Logs");
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir_.c_str()),
                           DWORD(dir_.size() + 1));
            RegCloseKey(key);
        }
    }
    const std::string& Dir() const { return dir_; }

  private:
    TempDir root_;
    std::string registry_;
    std::string dir_;
    ScopedEnv registryEnv_;
    ScopedEnv qtEnv_;
};

class KovariProcess {
  public:
    KovariProcess() {
        std::string binary = KovariBinary();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(binary.c_str(), "KOVARI", nullptr);
            ::_exit(127);
        }
    }
    ~KovariProcess() { Stop(); }
    KovariProcess(const KovariProcess&) = delete;
    KovariProcess& operator=(const KovariProcess&) = delete;

    // True once the service shows its presence (within 10 seconds).
    bool WaitUntilPresent() const { return pid_ > 0 && WaitForPresence(true, 10000); }

    // Stops the process where it is: requests stay unread.
    void Pause() {
        if (pid_ > 0) {
            ::kill(pid_, SIGSTOP);
        }
    }

    // Kills the process. Connections whose requests it has not read are reset
    // by the kernel; others close normally.
    void Stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        WaitForPresence(false, 5000);
    }

  private:
    pid_t pid_ = -1;
};

} // namespace qmtest
