// The filter beside its peers, measured in one run against a real web server
// (nginx on loopback) with a real load generator (wrk):
// - direct: wrk without the socket host;
// - filter, list: wrk under the socket host and the provider, each GET asked of
//   the real filter service and settled by the logged-in member's allow list;
// - filter, rated: the same with a site the rating stand-in rates;
// - proxy: wrk through Privoxy as an HTTP proxy.
// Keep-alive throughput at 1 and 32 connections with p50 and p99 latency, bulk
// transfer of a large file, the latency a connect plus one GET gains under the
// filter, and what a fresh filtered process costs to start, connect and get one
// page. Rounds are interleaved (each kind of run for every path in turn, the
// paths' order reversed every other round) and each figure is the median over
// rounds; every ratio is against direct in the same run. QM_BENCH_ROUNDS (default 5) and
// QM_BENCH_SECONDS (default 2) set the rounds and each wrk run's length.

#include "bench/loopback.h"
#include "tests/support/family_service.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zul_install.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kListedHost = "www.allowed.test"; // on the member's allow list
constexpr const char* kRatedHost = "www.good.test";     // rated by the rating stand-in
constexpr std::size_t kPageBytes = 612;
constexpr std::size_t kBulkBytes = std::size_t(256) << 20;
constexpr int kGetRounds = 400;
constexpr int kFreshProcesses = 40;

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using qmbench::Loopback;

unsigned short FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool WaitListening(unsigned short port) {
    for (int i = 0; i < 500; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(port);
        bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (up) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// One connect plus one GET answered by the web server, read to its end.
bool GetOnce(unsigned short port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    ::send(fd, request.data(), request.size(), 0);
    char buffer[4096];
    std::size_t total = 0;
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        total += std::size_t(n);
    }
    ::close(fd);
    return total > kPageBytes;
}

std::string PageRequest(const std::string& host) {
    return "GET /index.html HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

// Client mode: connect + GET rounds; prints the median in microseconds.
int GetRounds(unsigned short port, const std::string& host) {
    std::string request = PageRequest(host);
    std::vector<double> times;
    for (int i = 0; i < kGetRounds; ++i) {
        auto start = Clock::now();
        if (!GetOnce(port, request)) {
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::printf("%f\n", Median(times));
    return 0;
}

// A child process with the given extra environment; its standard output
// (when `output` is given) and whether it exited with 0.
bool Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
         std::string* output) {
    std::vector<std::string> env(extraEnv);
    for (char** entry = environ; *entry; ++entry) {
        env.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int out[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        (void)!::pipe(out);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        ::close(out[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
            output->append(buffer, std::size_t(n));
        }
        ::close(out[0]);
    }
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Self() {
    return "/proc/" + std::to_string(::getpid()) + "/exe";
}

// A server program started from this one, stopped at the end.
class Daemon {
  public:
    Daemon(std::vector<std::string> argv, unsigned short port) {
        std::vector<char*> args;
        for (std::string& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        ready_ = pid_ > 0 && WaitListening(port);
    }
    ~Daemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string NginxConfig(const std::string& dir, unsigned short port) {
    return "daemon off;\nmaster_process off;\npid " + dir + "/nginx.pid;\nerror_log " + dir +
           "/error.log;\nevents { worker_connections 1024; }\nhttp {\n access_log off;\n"
           " default_type application/octet-stream;\n keepalive_requests 100000000;\n"
           " client_body_temp_path " +
           dir + "/tmp;\n proxy_temp_path " + dir + "/tmp;\n fastcgi_temp_path " + dir +
           "/tmp;\n uwsgi_temp_path " + dir + "/tmp;\n scgi_temp_path " + dir +
           "/tmp;\n server {\n  listen 127.0.0.1:" + std::to_string(port) + ";\n  root " + dir +
           "/www;\n }\n}\n";
}

std::string PrivoxyConfig(const std::string& dir, unsigned short port) {
    return "confdir " + dir + "\nlogdir " + dir +
           "\nlisten-address 127.0.0.1:" + std::to_string(port) +
           "\ntoggle 1\nkeep-alive-timeout 30\nconnection-sharing 1\nsocket-timeout 30\n"
           "max-client-connections 512\n";
}

struct WrkResult {
    double rps = 0;
    double p50 = 0; // microseconds
    double p99 = 0;
    double bytesPerSecond = 0;
};

double Microseconds(const std::string& number, const std::string& unit) {
    double value = std::atof(number.c_str());
    return unit == "us" ? value : unit == "ms" ? value * 1e3 : value * 1e6;
}

double Bytes(const std::string& number, const std::string& unit) {
    double value = std::atof(number.c_str());
    std::map<std::string, double> scale{
        {"B", 1}, {"KB", 1024}, {"MB", 1024.0 * 1024}, {"GB", 1024.0 * 1024 * 1024}};
    return value * scale[unit];
}

WrkResult ParseWrk(const std::string& text) {
    WrkResult result;
    std::smatch match;
    if (std::regex_search(text, match, std::regex(R"(Requests/sec:\s+([0-9.]+))"))) {
        result.rps = std::atof(match[1].str().c_str());
    }
    if (std::regex_search(text, match, std::regex(R"(\s50%\s+([0-9.]+)(us|ms|s))"))) {
        result.p50 = Microseconds(match[1], match[2]);
    }
    if (std::regex_search(text, match, std::regex(R"(\s99%\s+([0-9.]+)(us|ms|s))"))) {
        result.p99 = Microseconds(match[1], match[2]);
    }
    if (std::regex_search(text, match, std::regex(R"(Transfer/sec:\s+([0-9.]+)([KMG]?B))"))) {
        result.bytesPerSecond = Bytes(match[1], match[2]);
    }
    return result;
}

// How one path is reached: through the filter or the proxy, and for which site.
struct Path {
    std::string name;
    bool filtered;
    bool proxied;
    std::string host;
};

class Bench {
  public:
    Bench(unsigned short web, unsigned short proxy, std::string dir)
        : web_(web), proxy_(proxy), dir_(std::move(dir)) {}

    WrkResult Wrk(const Path& path, int threads, int connections, const std::string& file) {
        std::string url =
            "http://127.0.0.1:" + std::to_string(path.proxied ? proxy_ : web_) + "/" + file;
        std::vector<std::string> argv{"/usr/bin/wrk",
                                      "-t" + std::to_string(threads),
                                      "-c" + std::to_string(connections),
                                      "-d" + std::to_string(Seconds(file)) + "s",
                                      "--latency",
                                      "-H",
                                      "Host: " + path.host};
        if (path.proxied) {
            std::string script = dir_ + "/proxy-" + file + ".lua";
            WriteFile(script, "wrk.path = \"http://127.0.0.1:" + std::to_string(web_) + "/" + file +
                                  "\"\n");
            argv.push_back("-s");
            argv.push_back(script);
        }
        argv.push_back(url);
        std::string output;
        Run(argv, Environment(path), &output);
        return ParseWrk(output);
    }

    double ConnectGet(const Path& path) {
        std::string output;
        Run({Self(), "--get", std::to_string(web_), path.host}, Environment(path), &output);
        return std::atof(output.c_str());
    }

    // Median wall time of fresh processes that each make one connect + GET.
    double FreshProcess(const Path& path) {
        std::vector<double> times;
        for (int i = 0; i < kFreshProcesses; ++i) {
            auto start = Clock::now();
            Run({Self(), "--once", std::to_string(web_), path.host}, Environment(path), nullptr);
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        return Median(times);
    }

    int seconds_ = EnvNumber("QM_BENCH_SECONDS", 2);

    // A bulk run fetches the large file a few times only: it runs twice as long.
    int Seconds(const std::string& file) const {
        return file == "bulk.bin" ? 2 * seconds_ : seconds_;
    }

  private:
    static std::vector<std::string> Environment(const Path& path) {
        if (!path.filtered) {
            return {};
        }
        return {"LD_PRELOAD=" + qmtest::BuiltFile("libsockhost.so")};
    }

    unsigned short web_;
    unsigned short proxy_;
    std::string dir_;
};

// Figures of one path over the rounds.
struct Series {
    std::vector<double> rps1, p50_1, p99_1, rps32, p50_32, p99_32, bulk, get, fresh;
};

void PrintRow(const char* name, double value, double direct, const char* unit, bool ratio) {
    if (ratio) {
        std::printf("  %-26s %12.1f %-6s ratio %.3f\n", name, value, unit,
                    direct > 0 ? value / direct : 0.0);
    } else {
        std::printf("  %-26s %12.1f %-6s added %.1f %s\n", name, value, unit, value - direct, unit);
    }
}

void Report(const std::vector<Path>& paths, const std::vector<Series>& series) {
    const Series& direct = series[0];
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Series& s = series[i];
        std::printf("%s\n", paths[i].name.c_str());
        PrintRow("keep-alive c=1 requests/s", Median(s.rps1), Median(direct.rps1), "/s", true);
        PrintRow("c=1 p50", Median(s.p50_1), Median(direct.p50_1), "us", true);
        PrintRow("c=1 p99", Median(s.p99_1), Median(direct.p99_1), "us", true);
        PrintRow("keep-alive c=32 requests/s", Median(s.rps32), Median(direct.rps32), "/s", true);
        PrintRow("c=32 p50", Median(s.p50_32), Median(direct.p50_32), "us", true);
        PrintRow("c=32 p99", Median(s.p99_32), Median(direct.p99_32), "us", true);
        PrintRow("bulk MB/s", Median(s.bulk) / 1e6, Median(direct.bulk) / 1e6, "MB/s", true);
        if (!paths[i].proxied) {
            PrintRow("connect + GET median", Median(s.get), Median(direct.get), "us", false);
            PrintRow("fresh process + GET", Median(s.fresh), Median(direct.fresh), "us", false);
        }
    }
}

// The paths in the order of one round: forwards in even rounds, backwards in
// odd ones, so that no path always runs first or right after another.
std::vector<std::size_t> RoundOrder(std::size_t count, int round) {
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) {
        order[i] = round % 2 ? count - 1 - i : i;
    }
    return order;
}

// One round: each kind of run for every path before the next kind, so a bulk
// run follows another path's bulk run, not its own path's keep-alive runs
// (whose load on the filter service could still be draining).
bool MeasureRound(Bench& bench, const std::vector<Path>& paths, std::vector<Series>& series,
                  int round) {
    std::vector<std::size_t> order = RoundOrder(paths.size(), round);
    for (std::size_t i : order) {
        WrkResult one = bench.Wrk(paths[i], 1, 1, "index.html");
        WrkResult many = bench.Wrk(paths[i], 2, 32, "index.html");
        if (one.rps <= 0 || many.rps <= 0) {
            std::fprintf(stderr, "wrk failed on path %s\n", paths[i].name.c_str());
            return false;
        }
        Series& s = series[i];
        s.rps1.push_back(one.rps);
        s.p50_1.push_back(one.p50);
        s.p99_1.push_back(one.p99);
        s.rps32.push_back(many.rps);
        s.p50_32.push_back(many.p50);
        s.p99_32.push_back(many.p99);
    }
    for (std::size_t i : order) {
        WrkResult bulk = bench.Wrk(paths[i], 1, 1, "bulk.bin");
        if (bulk.bytesPerSecond <= 0) {
            std::fprintf(stderr, "wrk failed on path %s\n", paths[i].name.c_str());
            return false;
        }
        series[i].bulk.push_back(bulk.bytesPerSecond);
    }
    for (std::size_t i : order) {
        if (!paths[i].proxied) {
            series[i].get.push_back(bench.ConnectGet(paths[i]));
            series[i].fresh.push_back(bench.FreshProcess(paths[i]));
        }
    }
    return true;
}

int Measure(Bench& bench, const std::vector<Path>& paths) {
    int rounds = EnvNumber("QM_BENCH_ROUNDS", 5);
    std::vector<Series> series(paths.size());
    for (int round = 0; round < rounds; ++round) {
        std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
        if (!MeasureRound(bench, paths, series, round)) {
            return 1;
        }
    }
    Report(paths, series);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4) {
        auto port = static_cast<unsigned short>(std::atoi(argv[2]));
        std::string mode = argv[1];
        if (mode == "--get") {
            return GetRounds(port, argv[3]);
        }
        return GetOnce(port, PageRequest(argv[3])) ? 0 : 1;
    }
    for (const char* program : {"/usr/sbin/nginx", "/usr/bin/wrk", "/usr/sbin/privoxy"}) {
        if (::access(program, X_OK) != 0) {
            std::fprintf(stderr, "%s is missing: run scripts/bootstrap --peers\n", program);
            return 1;
        }
    }
    qmtest::FamilyService service(0);
    if (!qmtest::InstallLayerOverInternet() || !service.Start()) {
        std::fprintf(stderr, "cannot install the provider or start the service\n");
        return 1;
    }
    qmtest::TempDir dir;
    std::filesystem::create_directories(dir / "www");
    std::filesystem::create_directories(dir / "tmp");
    WriteFile(dir / "www/index.html", std::string(kPageBytes, 'p'));
    WriteFile(dir / "www/bulk.bin", std::string(kBulkBytes, 'b'));
    unsigned short web = FreePort();
    unsigned short proxy = FreePort();
    WriteFile(dir / "nginx.conf", NginxConfig(dir.path(), web));
    WriteFile(dir / "privoxy.conf", PrivoxyConfig(dir.path(), proxy));
    Daemon nginx({"/usr/sbin/nginx", "-c", dir / "nginx.conf", "-p", dir.path()}, web);
    Daemon privoxy({"/usr/sbin/privoxy", "--no-daemon", dir / "privoxy.conf"}, proxy);
    if (!nginx.ready() || !privoxy.ready()) {
        std::fprintf(stderr, "nginx or privoxy did not start\n");
        return 1;
    }
    Bench bench(web, proxy, dir.path());
    std::printf("wrk %ds per run, keep-alive c=1 (1 thread) and c=32 (2 threads), page %zu bytes, "
                "bulk %zu MiB for twice as long; medians over interleaved rounds\n",
                bench.seconds_, kPageBytes, kBulkBytes >> 20);
    std::vector<Path> paths{{"direct", false, false, kListedHost},
                            {"filter, list decision", true, false, kListedHost},
                            {"filter, rating service", true, false, kRatedHost},
                            {"privoxy as a proxy", false, true, kListedHost}};
    return Measure(bench, paths);
}
