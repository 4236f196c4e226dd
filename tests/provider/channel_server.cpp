#include "tests/provider/channel_server.h"

#include "platform/presence.h"

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qmtest {
namespace {

void ResetAndClose(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

} // namespace

int ListenOnLoopbackPort(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ChannelServer::Script FixedReplies(std::string site, std::string program) {
    return [site, program](const std::string& request) {
        return ChannelAction{ChannelAction::Reply, request.starts_with("AB:") ? program : site};
    };
}

ChannelServer::ChannelServer(Script script, bool presence, bool port) : script_(std::move(script)) {
    if (port) {
        listenFd_ = ListenOnLoopbackPort(4100);
    }
    if (presence) {
        presenceFd_ = platform::ListenOnName("VRA_Class");
    }
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        wake_[0] = wake_[1] = -1;
    }
    thread_ = std::thread([this] { Run(); });
}

ChannelServer::~ChannelServer() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : {listenFd_, presenceFd_, wake_[0], wake_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

int ChannelServer::Connections() {
    std::lock_guard hold(lock_);
    return connections_;
}

std::vector<std::pair<int, std::string>> ChannelServer::Requests() {
    std::lock_guard hold(lock_);
    return requests_;
}

std::vector<std::string> ChannelServer::Received() {
    std::lock_guard hold(lock_);
    return received_;
}

void ChannelServer::Run() {
    std::map<int, int> clients; // fd -> connection number
    for (;;) {
        std::vector<pollfd> fds = {
            {wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}, {presenceFd_, POLLIN, 0}};
        for (auto [fd, number] : clients) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        if (fds[0].revents) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard hold(lock_);
                clients[fd] = ++connections_;
            }
        }
        if (fds[2].revents & POLLIN) {
            int fd = ::accept4(presenceFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ::close(fd); // a presence check only connects
            }
        }
        for (std::size_t i = 3; i < fds.size(); ++i) {
            if (fds[i].revents) {
                if (!Serve(fds[i].fd, clients[fds[i].fd])) {
                    clients.erase(fds[i].fd);
                }
            }
        }
    }
    for (auto [fd, number] : clients) {
        ResetAndClose(fd);
    }
}

// Answers one request on fd; closes fd and returns false when the peer went
// away or the script says so.
bool ChannelServer::Serve(int fd, int number) {
    char buffer[1024];
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
        ::close(fd);
        return false;
    }
    std::string request(buffer, ::strnlen(buffer, std::size_t(got)));
    {
        std::lock_guard hold(lock_);
        requests_.emplace_back(number, request);
        received_.emplace_back(buffer, std::size_t(got));
    }
    ChannelAction action = script_(request);
    switch (action.kind) {
    case ChannelAction::Reply:
        ::send(fd, action.reply.data(), action.reply.size(), MSG_NOSIGNAL);
        break;
    case ChannelAction::Close:
        ::shutdown(fd, SHUT_WR); // the client reads an empty reply
        break;
    case ChannelAction::Reset:
        ResetAndClose(fd);
        return false;
    }
    return true;
}

} // namespace qmtest
