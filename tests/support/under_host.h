#pragma once
// Runs a real program under the socket host (LD_PRELOAD) and collects its
// standard output and exit status. Under a sanitizer preset the sanitizer's
// runtime is preloaded first, as the dynamic loader requires, so the host and
// the providers are checked inside the program; every report the sanitizer
// writes there fails the running test.

#include "tests/support/temp_dir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>

#ifndef QM_BIN_DIR
#error "QM_BIN_DIR names the build's bin folder"
#endif
#ifndef QM_SANITIZER_RUNTIME
#define QM_SANITIZER_RUNTIME ""
#endif
#ifndef QM_PROGRAM_SUPPRESSIONS
#define QM_PROGRAM_SUPPRESSIONS ""
#endif
#ifndef QM_PROGRAM_TSAN_SUPPRESSIONS
#define QM_PROGRAM_TSAN_SUPPRESSIONS ""
#endif

namespace qmtest {

inline std::string BinDir() {
    return QM_BIN_DIR;
}

// The sanitizer's settings for programs under the host: reports go to files
// named <folder>/report.<pid>.
inline std::string SanitizerEnvironment(const std::string& reportFolder) {
    std::string log = "log_path=" + reportFolder + "/report";
#if defined(__SANITIZE_ADDRESS__)
    // A short allocation stack lets the leak suppressions name only the
    // program's own allocations (see the file). The runtime's tracking of
    // dynamic TLS is off: it takes a malloc'd block that happens to start at a
    // certain page offset for an old C library's block header, and the leak
    // checker then dies reading the bogus range at the program's exit.
    return "export ASAN_OPTIONS=" + log +
           ":malloc_context_size=2:intercept_tls_get_addr=0 UBSAN_OPTIONS=" + log +
           ":print_stacktrace=1 "
           "LSAN_OPTIONS=print_suppressions=0:suppressions=" QM_PROGRAM_SUPPRESSIONS ";";
#elif defined(__SANITIZE_THREAD__)
    // A forked child of a program with threads starts its providers (and their
    // threads) afresh: the runtime is told to go on there instead of dying.
    return "export TSAN_OPTIONS=" + log +
           ":die_after_fork=0:suppressions=" QM_PROGRAM_TSAN_SUPPRESSIONS ";";
#else
    (void)log;
    return "";
#endif
}

inline std::string PreloadEnvironment(const std::string& reportFolder) {
    std::string preload = BinDir() + "/libsockhost.so";
    std::string runtime = QM_SANITIZER_RUNTIME;
    if (!runtime.empty()) {
        preload = runtime + ":" + BinDir() + "/libsanitizer_first.so:" + preload;
    }
    return SanitizerEnvironment(reportFolder) + "export LD_PRELOAD=" + preload + ";";
}

// The reports the sanitizer wrote into the folder, one after the other.
inline std::string SanitizerReports(const std::string& reportFolder) {
    std::string reports;
    for (const auto& entry : std::filesystem::directory_iterator(reportFolder)) {
        std::ifstream file(entry.path());
        std::ostringstream text;
        text << file.rdbuf();
        reports += entry.path().filename().string() + ":\n" + text.str();
    }
    return reports;
}

struct RunResult {
    int status = -1; // exit code, or -1 when the program did not exit normally
    std::string output;
};

// Runs a shell command line; with host set, every program of it (pipelines
// included) runs under the socket host, and a sanitizer report from any of them
// is a failure of the running test.
inline RunResult Run(const std::string& command, bool host = true) {
    TempDir reportFolder;
    std::string line =
        (host ? PreloadEnvironment(reportFolder.path()) + " " : std::string()) + command;
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
    std::string reports = SanitizerReports(reportFolder.path());
    if (!reports.empty()) {
        ADD_FAILURE() << "sanitizer report from " << command << "\n" << reports;
    }
    return result;
}

} // namespace qmtest
