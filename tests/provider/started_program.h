#pragma once
// Programs that the provider starts in tests: a script at dir + "/KOVARI" that
// records its process id and then runs the given command. The guard kills the
// recorded process when the test ends, however it ends.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace qmtest {

class StartedProgram {
  public:
    // Writes dir + "/KOVARI" that execs command (a shell command line).
    StartedProgram(const std::string& dir, const std::string& command)
        : pidFile_(dir + "/kovari.pid") {
        std::string path = dir + "/KOVARI";
        std::ofstream(path) << "#!/bin/sh\necho $$ > '" << pidFile_ << "'\nexec " << command
                            << "\n";
        ::chmod(path.c_str(), 0755);
    }
    ~StartedProgram() { Kill(); }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // The process id once the program has started, 0 before.
    pid_t Pid() const {
        pid_t pid = 0;
        std::ifstream(pidFile_) >> pid;
        return pid;
    }

    // Kills the program and waits until it is gone.
    void Kill() {
        pid_t pid = Pid();
        if (pid <= 0) {
            return;
        }
        ::kill(pid, SIGKILL);
        for (int i = 0; i < 500 && Alive(pid); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::filesystem::remove(pidFile_);
    }

    // Running, and not a zombie waiting for whoever adopted it.
    static bool Alive(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        std::getline(stat, text);
        std::size_t close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
    }

  private:
    std::string pidFile_;
};

} // namespace qmtest
