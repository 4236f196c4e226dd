// Stand-in for the rating service ("VRA 1.0" over TCP), for tests and the demo.
//
//   rating-server --port N --ratings FILE [--members FILE] [--log FILE]
//                 [--close-after N] [--cut-after N] [--refuse-login] [--delay-ms N]
//                 [--silent]
//
// Each connection gets a greeting; "VRA 1.0:USER name" and "VRA 1.0:PASS pw"
// are answered "+OK" (or '-' when the login is refused: --refuse-login, or a
// members file of "name password" lines that does not hold the pair); every
// other "VRA 1.0:address" is rated from the ratings file, whose lines are
// "host-pattern answer": the first pattern (shell wildcards) that matches the
// address's host gives "+" and the answer text ("=text" answers the text
// alone); no match answers "+0". --close-after N closes the connection after N
// rating answers; --cut-after N sends only the first half of the answer after
// N answers and closes with it; --delay-ms waits before each rating answer;
// --silent accepts connections and never sends anything; --log appends every
// message received, one per line.

#include "tools/rating-server/rating_rules.h"

#include "tools/common/loopback_listener.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Options {
    int port = 0;
    int closeAfter = 0;
    int cutAfter = 0;
    int delayMs = 0;
    bool refuseLogin = false;
    bool silent = false;
    std::string logFile;
    RatingRules rules;
};

std::mutex gLogLock;

void LogMessage(const Options& options, const std::string& message) {
    if (options.logFile.empty()) {
        return;
    }
    std::lock_guard guard(gLogLock);
    if (std::FILE* out = std::fopen(options.logFile.c_str(), "a")) {
        std::fprintf(out, "%s\n", message.c_str());
        std::fclose(out);
    }
}

bool SendText(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
}

// Sends the first half of the text and closes in the same segment.
void SendCutAndClose(int fd, const std::string& text) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    ::send(fd, text.data(), text.size() / 2, MSG_NOSIGNAL);
    ::close(fd);
}

// Reads and forgets everything until the client closes.
void IgnoreAll(int fd) {
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

void Serve(int fd, const Options& options) {
    std::string user;
    int answered = 0;
    if (options.silent) {
        IgnoreAll(fd);
        return;
    }
    if (!SendText(fd, "+VRA 1.0 rating service ready")) {
        ::close(fd);
        return;
    }
    char buffer[4096];
    for (;;) {
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        std::string message(buffer, std::size_t(got));
        LogMessage(options, message);
        std::string reply;
        if (message.rfind("VRA 1.0:USER ", 0) == 0) {
            user = message.substr(13);
            reply = "+OK user";
        } else if (message.rfind("VRA 1.0:PASS ", 0) == 0) {
            bool known = options.rules.Accepts(user, message.substr(13));
            reply = options.refuseLogin || !known ? "-Login refused" : "+OK logged in";
        } else if (message.rfind("VRA 1.0:", 0) == 0) {
            if (options.closeAfter > 0 && answered >= options.closeAfter) {
                break; // an orderly close instead of the answer
            }
            if (options.delayMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
            }
            reply = options.rules.Rate(message.substr(8));
            if (options.cutAfter > 0 && answered >= options.cutAfter) {
                SendCutAndClose(fd, reply);
                return;
            }
            ++answered;
        } else {
            reply = "-Unknown message";
        }
        if (!SendText(fd, reply)) {
            break;
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (name == "--refuse-login" || name == "--silent") {
            (name == "--silent" ? options.silent : options.refuseLogin) = true;
            continue;
        }
        if (!value) {
            return false;
        }
        ++i;
        if (name == "--port") {
            options.port = std::atoi(value);
        } else if (name == "--ratings") {
            if (!options.rules.LoadRatings(value)) {
                return false;
            }
        } else if (name == "--members") {
            if (!options.rules.LoadMembers(value)) {
                return false;
            }
        } else if (name == "--log") {
            options.logFile = value;
        } else if (name == "--close-after") {
            options.closeAfter = std::atoi(value);
        } else if (name == "--cut-after") {
            options.cutAfter = std::atoi(value);
        } else if (name == "--delay-ms") {
            options.delayMs = std::atoi(value);
        } else {
            return false;
        }
    }
    return options.port > 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: rating-server --port N --ratings FILE [--members FILE] "
                             "[--log FILE] [--close-after N] [--cut-after N] [--refuse-login] "
                             "[--delay-ms N] [--silent]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    int listener = qmtools::ListenOnLoopback(std::uint16_t(options.port), "rating-server");
    if (listener < 0) {
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", options.port);
    std::fflush(stdout);
    for (;;) {
        int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::thread([client, &options] { Serve(client, options); }).detach();
    }
}
