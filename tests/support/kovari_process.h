#pragma once
// Starts the real KOVARI program for a test, with its own registry folder and
// installation folder, and stops it when the test ends, pass or fail.

#include "tests/support/temp_dir.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qmtest {

// Path of a program or library built by this project (build/<preset>/bin/name).
std::string BuiltFile(const std::string& name);

// A registry folder and an installation folder (with Logs/) for one test.
class Installation {
  public:
    Installation();
    const std::string& RegistryDir() const { return dir_.path(); }
    std::string InstallDir() const { return dir_ / "inst"; }
    std::string LogFile() const { return InstallDir() + "/Logs/AppLog.txt"; }

    // Writes Dir under the machine key and DebugLevel under the user key (a
    // negative level leaves the user key out).
    void WriteSettings(int debugLevel) const;
    // Lines of the service's log, or none when the file does not exist.
    std::vector<std::string> LogLines() const;

  private:
    TempDir dir_;
};

// Points this test process (and so every program it starts, such as a KOVARI
// started by the provider) at an installation, with Qt's offscreen platform.
class InstallationEnvironment {
  public:
    explicit InstallationEnvironment(const Installation& installation)
        : registry_("QUELLMARK_REGISTRY_DIR", installation.RegistryDir()),
          qt_("QT_QPA_PLATFORM", "offscreen"),
          boxes_("QUELLMARK_MSGBOX_RECORD", installation.RegistryDir() + "/msgbox.txt"),
          dialogs_("QUELLMARK_DIALOG_ANSWER", "0") {}

  private:
    ScopedEnv registry_;
    ScopedEnv qt_;
    // A service started from here shows no window that waits for a person:
    // boxes are recorded and the login dialog is cancelled.
    ScopedEnv boxes_;
    ScopedEnv dialogs_;
};

// Waits until the service window ("VRA_Class") can (or can no longer) be found.
bool WaitForPresence(bool present, int timeoutMs);

class KovariProcess {
  public:
    // Starts KOVARI with QUELLMARK_REGISTRY_DIR at the installation's registry.
    // Message boxes are recorded to msgbox.txt in the registry folder and the
    // login dialog is cancelled (QUELLMARK_DIALOG_ANSWER=0) unless extraEnv
    // says otherwise; an empty value in extraEnv leaves the variable unset.
    // With an account name it runs as that account (the caller is root).
    explicit KovariProcess(const Installation& installation,
                           const std::map<std::string, std::string>& extraEnv = {},
                           const std::string& account = {});
    ~KovariProcess();
    KovariProcess(const KovariProcess&) = delete;
    KovariProcess& operator=(const KovariProcess&) = delete;

    // Waits until the service window ("VRA_Class") can be found; false after the timeout.
    bool WaitUntilPresent(int timeoutMs = 10000) const;
    // Waits until the channel port accepts connections.
    bool WaitUntilListening(int timeoutMs = 10000) const;
    bool Running() const;
    // Waits for the process to end by itself; its exit status, or -1 on timeout.
    int WaitForExit(int timeoutMs);
    // Stops the process where it is: requests stay unread.
    void Pause();
    // Kills the process and waits until its window is gone. Connections whose
    // requests it has not read are reset by the kernel; others close normally.
    void Stop();
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

} // namespace qmtest
