#include "platform/page_server.h"

#include "platform/listen_socket.h"
#include "platform/wsa_errors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <list>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBacklog = 64;
constexpr int kAcceptsPerRound = 64;

struct Connection {
    int fd = -1;
    Clock::time_point deadline;
    std::string in;
    std::string out;
    std::size_t sent = 0;
    bool writing = false;
};

// Where the request head ends (after its empty line), or npos.
std::size_t HeadEnd(const std::string& in) {
    std::size_t crlf = in.find("\r\n\r\n");
    std::size_t lf = in.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) {
        return std::string::npos;
    }
    return crlf < lf ? crlf + 4 : lf + 2;
}

void Drop(std::list<Connection>& connections, std::list<Connection>::iterator at) {
    ::close(at->fd);
    connections.erase(at);
}

// Reads what has arrived; false when the connection is to be dropped.
bool ReadRequest(Connection& c, const PageServerLimits& limits,
                 const PageServer::Handler& handler) {
    char buffer[4096];
    for (;;) {
        ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (got == 0) {
            return false;
        }
        if (got < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        c.in.append(buffer, std::size_t(got));
        std::size_t end = HeadEnd(c.in);
        if (end != std::string::npos && end <= limits.maxRequestBytes) {
            c.out = handler(std::string_view(c.in).substr(0, end));
            c.writing = true;
            return !c.out.empty();
        }
        if (c.in.size() >= limits.maxRequestBytes) {
            return false;
        }
    }
}

// Sends what is left; false when done or failed (the connection then ends).
bool WriteAnswer(Connection& c) {
    while (c.sent < c.out.size()) {
        ssize_t put = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (put < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        c.sent += std::size_t(put);
    }
    ::shutdown(c.fd, SHUT_WR);
    return false;
}

int PollTimeout(const std::list<Connection>& connections, Clock::time_point now) {
    if (connections.empty()) {
        return -1;
    }
    auto first = std::min_element(
        connections.begin(), connections.end(),
        [](const Connection& a, const Connection& b) { return a.deadline < b.deadline; });
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first->deadline - now);
    return int(std::max<long long>(0, left.count() + 1));
}

} // namespace

PageServer::PageServer(Handler handler, PageServerLimits limits)
    : handler_(std::move(handler)), limits_(limits) {}

PageServer::~PageServer() {
    Stop();
}

bool PageServer::Start(const std::string& address, std::uint16_t port, int* wsaError) {
    listenFd_ = CreateBoundTcpSocket(address, port, wsaError);
    if (listenFd_ < 0) {
        return false;
    }
    bool ready = ListenOn(listenFd_, kBacklog, wsaError);
    if (ready && ::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *wsaError = WsaErrorFromErrno(errno);
        ready = false;
    }
    if (!ready) {
        CloseSocket(listenFd_);
        listenFd_ = -1;
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PageServer::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    char wake = 1;
    (void)!::write(wakeFds_[1], &wake, 1);
    thread_.join();
    CloseSocket(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
    listenFd_ = wakeFds_[0] = wakeFds_[1] = -1;
}

void PageServer::Run() {
    std::list<Connection> connections; // oldest first
    std::vector<pollfd> fds;
    while (!stopping_) {
        fds.assign({{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const Connection& c : connections) {
            fds.push_back({c.fd, short(c.writing ? POLLOUT : POLLIN), 0});
        }
        if (::poll(fds.data(), fds.size(), PollTimeout(connections, Clock::now())) < 0 &&
            errno != EINTR) {
            break;
        }
        // Connections first, in the order polled; new ones join at the end.
        std::size_t index = 2;
        Clock::time_point now = Clock::now();
        for (auto at = connections.begin(); at != connections.end(); ++index) {
            short events = index < fds.size() ? fds[index].revents : 0;
            bool keep = now < at->deadline;
            if (keep && events) {
                bool wasWriting = at->writing;
                keep = wasWriting ? WriteAnswer(*at) : ReadRequest(*at, limits_, handler_);
                if (keep && !wasWriting && at->writing) {
                    keep = WriteAnswer(*at); // the answer usually goes out at once
                }
            }
            auto next = std::next(at);
            if (!keep) {
                Drop(connections, at);
            }
            at = next;
        }
        if (fds[1].revents & POLLIN) {
            for (int i = 0; i < kAcceptsPerRound; ++i) {
                int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) {
                    if ((errno == EMFILE || errno == ENFILE) && !connections.empty()) {
                        Drop(connections, connections.begin());
                        continue;
                    }
                    break;
                }
                if (connections.size() >= limits_.maxConnections) {
                    Drop(connections, connections.begin());
                }
                Connection c;
                c.fd = fd;
                c.deadline = Clock::now() + std::chrono::milliseconds(limits_.deadlineMs);
                connections.push_back(std::move(c));
            }
        }
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
    }
    for (Connection& c : connections) {
        ::close(c.fd);
    }
}

} // namespace platform
