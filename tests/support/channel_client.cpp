#include "tests/support/channel_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qmtest {

ChannelClient::ChannelClient(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

ChannelClient::~ChannelClient() {
    Close();
}

void ChannelClient::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void ChannelClient::ShutdownSending() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
    }
}

bool ChannelClient::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        done += std::size_t(sent);
    }
    return fd_ >= 0;
}

std::string ChannelClient::Receive(std::size_t bytes, int timeoutMs) {
    std::string out;
    while (fd_ >= 0 && out.size() < bytes) {
        pollfd waiter{fd_, POLLIN, 0};
        if (::poll(&waiter, 1, timeoutMs) <= 0) {
            break;
        }
        char buffer[4096];
        ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, bytes - out.size()), 0);
        if (got <= 0) {
            break;
        }
        out.append(buffer, std::size_t(got));
    }
    return out;
}

std::string ChannelClient::ReceiveAny(int timeoutMs) {
    std::string out;
    pollfd waiter{fd_, POLLIN, 0};
    while (fd_ >= 0 && ::poll(&waiter, 1, timeoutMs) > 0) {
        char buffer[4096];
        ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        out.append(buffer, std::size_t(got));
    }
    return out;
}

bool ChannelClient::PeerClosed(int timeoutMs) {
    pollfd waiter{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&waiter, 1, timeoutMs) <= 0) {
        return false;
    }
    char byte;
    return ::recv(fd_, &byte, 1, MSG_PEEK) == 0;
}

std::string ChannelClient::Ask(const std::string& request, std::size_t replySize, int timeoutMs) {
    return Send(request) ? Receive(replySize, timeoutMs) : std::string();
}

std::string ApplicationRequest(const std::string& text) {
    std::string record = text;
    record.resize(1024, '\0');
    return record;
}

} // namespace qmtest
