#pragma once
// Runs a real program under the socket host (LD_PRELOAD) and collects its
// standard output and exit status. Under a sanitizer preset the sanitizer's
// runtime is preloaded first, as the dynamic loader requires.

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#ifndef QM_BIN_DIR
#error "QM_BIN_DIR names the build's bin folder"
#endif
#ifndef QM_SANITIZER_RUNTIME
#define QM_SANITIZER_RUNTIME ""
#endif

namespace qmtest {

inline std::string BinDir() {
    return QM_BIN_DIR;
}

inline std::string PreloadEnvironment() {
    std::string preload = BinDir() + "/libsockhost.so";
    std::string runtime = QM_SANITIZER_RUNTIME;
    if (!runtime.empty()) {
        preload = runtime + ":" + preload;
    }
    return "export ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 "
           "TSAN_OPTIONS=report_bugs=0 LD_PRELOAD=" +
           preload + ";";
}

// Under a sanitizer preset the host needs the sanitizer's runtime preloaded
// into uninstrumented programs, and some of them (curl) deadlock at start-up with
// it: their tests run in the default preset only.
inline bool RealProgramsRunHere() {
    return std::string(QM_SANITIZER_RUNTIME).empty();
}

#define QM_SKIP_REAL_PROGRAMS_UNDER_SANITIZERS()                                                   \
    if (!qmtest::RealProgramsRunHere()) {                                                          \
        GTEST_SKIP() << "real programs run under the socket host in the default preset only";      \
    }

struct RunResult {
    int status = -1; // exit code, or -1 when the program did not exit normally
    std::string output;
};

// Runs a shell command line; with host set, every program of it (pipelines
// included) runs under the socket host.
inline RunResult Run(const std::string& command, bool host = true) {
    std::string line = (host ? PreloadEnvironment() + " " : std::string()) + command;
    RunResult result;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) {
        return result;
    }
    std::array<char, 4096> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), n);
    }
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace qmtest
