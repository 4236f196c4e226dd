#include "platform/request_server.h"

#include "platform/listen_socket.h"
#include "platform/socket_owner.h"
#include "platform/wsa_errors.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

constexpr RequestServer::ConnectionId kListenerMark = 0;
constexpr RequestServer::ConnectionId kWakeMark = 1;
constexpr int kAcceptBurst = 64;
constexpr int kEventsPerWait = 64;

bool Watch(int pollFd, int fd, RequestServer::ConnectionId mark) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = mark;
    return ::epoll_ctl(pollFd, EPOLL_CTL_ADD, fd, &event) == 0;
}

// The account owning the peer's socket of an accepted loopback connection.
long PeerOwner(int fd) {
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        peer.sin_family != AF_INET) {
        return -1;
    }
    return TcpSocketOwner(peer, local); // the peer's socket: its local address is our remote one
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

RequestServer::RequestServer(std::size_t maxRequestBytes)
    : maxRequestBytes_(maxRequestBytes), buffer_(maxRequestBytes) {}

RequestServer::~RequestServer() {
    Stop();
    Close();
}

bool RequestServer::Create(std::uint16_t port, const std::string& address) {
    listenFd_ = CreateBoundTcpSocket(address, port, &lastError_);
    return listenFd_ >= 0;
}

bool RequestServer::SetReuseAddress() {
    return platform::SetReuseAddress(listenFd_, &lastError_);
}

bool RequestServer::Listen(int backlog) {
    return ListenOn(listenFd_, backlog, &lastError_);
}

void RequestServer::Close() {
    if (listenFd_ >= 0 && !thread_.joinable()) {
        CloseSocket(listenFd_);
        listenFd_ = -1;
    }
}

bool RequestServer::Start(Listener& listener) {
    if (listenFd_ < 0 || thread_.joinable()) {
        return false;
    }
    listener_ = &listener;
    pollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (pollFd_ >= 0 && wakeFd_ >= 0 && Watch(pollFd_, listenFd_, kListenerMark) &&
        Watch(pollFd_, wakeFd_, kWakeMark)) {
        try {
            thread_ = std::thread([this] { Run(); });
            return true;
        } catch (const std::system_error&) {
        }
    }
    lastError_ = WsaErrorFromErrno(errno);
    for (int* fd : {&pollFd_, &wakeFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    return false;
}

void RequestServer::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
    std::lock_guard guard(heldLock_); // a reply being sent finishes first
    held_.clear();
    early_.clear();
    for (auto& [id, accepted] : connections_) {
        ::close(accepted.fd);
    }
    connections_.clear();
    ::close(wakeFd_);
    ::close(pollFd_);
    wakeFd_ = pollFd_ = -1;
    Close();
}

void RequestServer::Reply(ConnectionId id, const std::string& reply) {
    std::lock_guard guard(heldLock_);
    auto found = held_.find(id);
    if (found == held_.end()) {
        if (!stopping_) {
            early_.emplace(id, reply); // the server's thread sends it as it holds the request
        }
        return;
    }
    Accepted& accepted = *found->second;
    held_.erase(found);
    ::send(accepted.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    accepted.connection->OnReplied();
    // From here on the server's thread may read the connection again.
    if (!Watch(pollFd_, accepted.fd, id)) {
        ::shutdown(accepted.fd, SHUT_RDWR); // the peer sees the end and connects afresh
    }
}

void RequestServer::Run() {
    epoll_event ready[kEventsPerWait];
    while (!stopping_) {
        int count = ::epoll_wait(pollFd_, ready, kEventsPerWait, -1);
        for (int i = 0; i < count && !stopping_; ++i) {
            ConnectionId mark = ready[i].data.u64;
            if (mark == kListenerMark) {
                AcceptWaiting();
            } else if (mark == kWakeMark) {
                std::uint64_t wakes = 0;
                (void)!::read(wakeFd_, &wakes, sizeof wakes);
            } else {
                Receive(mark);
            }
        }
    }
}

// Takes every connection already waiting, so a burst of clients does not
// overflow a short listen queue.
void RequestServer::AcceptWaiting() {
    for (int taken = 0; taken < kAcceptBurst; ++taken) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (taken == 0 || !WouldBlock(errno)) {
                listener_->OnAcceptFailed(WsaErrorFromErrno(errno));
            }
            return;
        }
        std::unique_ptr<Connection> connection = listener_->OnAccept(PeerOwner(fd));
        ConnectionId id = nextId_++;
        if (!connection || !Watch(pollFd_, fd, id)) {
            ::close(fd);
            continue;
        }
        connections_.emplace(id, Accepted{fd, std::move(connection)});
    }
}

void RequestServer::Receive(ConnectionId id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) {
        return; // closed earlier in this round
    }
    Accepted& accepted = found->second;
    ssize_t got = ::recv(accepted.fd, buffer_.data(), maxRequestBytes_, 0);
    if (got <= 0) {
        // The end of the stream or an error closes the connection.
        if (got == 0 || !WouldBlock(errno)) {
            Drop(id);
        }
        return;
    }
    reply_.clear();
    if (!accepted.connection->OnReceive(id, std::string_view(buffer_.data(), std::size_t(got)),
                                        reply_)) {
        // Not read again until the reply comes: the peer's next request, or
        // its close, waits in the socket.
        std::lock_guard guard(heldLock_);
        auto early = early_.find(id);
        if (early == early_.end()) {
            ::epoll_ctl(pollFd_, EPOLL_CTL_DEL, accepted.fd, nullptr);
            held_.emplace(id, &accepted);
            return;
        }
        reply_.swap(early->second);
        early_.erase(early);
    }
    ::send(accepted.fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    accepted.connection->OnReplied();
}

void RequestServer::Drop(ConnectionId id) {
    auto found = connections_.find(id);
    ::epoll_ctl(pollFd_, EPOLL_CTL_DEL, found->second.fd, nullptr);
    ::close(found->second.fd);
    connections_.erase(found);
}

} // namespace platform
