#include "platform/shell.h"

#include "platform/wintypes.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

constexpr std::intptr_t kStarted = 42;
constexpr char kSocketHost[] = "libsockhost.so";

std::intptr_t ShellErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return 3; // ERROR_PATH_NOT_FOUND
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC:
        return 11; // ERROR_BAD_FORMAT
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// The environment of the started program, prepared before forking because the
// child of a threaded process may only make async-signal-safe calls.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        std::string_view text(*entry);
        if (text.starts_with("LD_PRELOAD=")) {
            std::string rest = PreloadWithoutSocketHost(std::string(text.substr(11)));
            if (!rest.empty()) {
                entries.push_back("LD_PRELOAD=" + rest);
            }
            continue;
        }
        entries.emplace_back(text);
    }
    return entries;
}

// Runs in the forked child: a new session, then a grandchild that executes the
// program, so the caller never has to reap it. An exec failure travels back as
// errno through the close-on-exec pipe; a successful exec closes it silently.
[[noreturn]] void StartInChild(const char* path, char* const* envp, int reportFd) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
        // The program gets none of the caller's descriptors: its standard
        // streams are /dev/null (a caller whose output is read through a pipe
        // must see it end when the caller ends), nothing else is inherited,
        // and it starts with no signals blocked, whatever the calling thread had.
        if (reportFd < 3) {
            reportFd = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
        }
        int null = ::open("/dev/null", O_RDWR);
        for (int stream = 0; stream < 3 && null >= 0; ++stream) {
            ::dup2(null, stream);
        }
        ::close_range(3, unsigned(reportFd) - 1, 0);
        ::close_range(unsigned(reportFd) + 1, ~0U, 0);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        char* const argv[] = {const_cast<char*>(path), nullptr};
        ::execve(path, argv, envp);
        int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
        ::_exit(127);
    }
    if (grandchild < 0) {
        int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
    }
    ::_exit(0);
}

} // namespace

std::string PreloadWithoutSocketHost(const std::string& preload) {
    std::string kept;
    std::size_t start = 0;
    while (start <= preload.size()) {
        std::size_t end = preload.find_first_of(" :", start);
        if (end == std::string::npos) {
            end = preload.size();
        }
        std::string_view item(preload.data() + start, end - start);
        if (!item.empty() && item.find(kSocketHost) == std::string_view::npos) {
            kept += (kept.empty() ? "" : ":") + std::string(item);
        }
        start = end + 1;
    }
    return kept;
}

std::intptr_t ShellOpen(const std::string& path) {
    std::vector<std::string> environment = ChildEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return ShellErrorFromErrno(errno);
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        StartInChild(path.c_str(), envp.data(), report[1]);
    }
    int forkError = errno;
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return ShellErrorFromErrno(forkError);
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    return got == sizeof error ? ShellErrorFromErrno(error) : kStarted;
}

} // namespace platform
