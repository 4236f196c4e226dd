#include "platform/qt/async_socket.h"

#include "platform/listen_socket.h"
#include "platform/socket_owner.h"
#include "platform/wsa_errors.h"

#include <QSocketNotifier>

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

constexpr int kAcceptBurst = 64;

AsyncSocket::AsyncSocket(QObject* parent) : QObject(parent) {}

AsyncSocket::~AsyncSocket() {
    Close();
}

bool AsyncSocket::Create(std::uint16_t port, const std::string& address) {
    int fd = CreateBoundTcpSocket(address, port, &lastError_);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    return true;
}

bool AsyncSocket::SetReuseAddress() {
    return platform::SetReuseAddress(fd_, &lastError_);
}

bool AsyncSocket::Listen(int backlog) {
    if (!ListenOn(fd_, backlog, &lastError_)) {
        return false;
    }
    Attach(fd_, true);
    return true;
}

bool AsyncSocket::Accept(AsyncSocket& connection) {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        lastError_ = WsaErrorFromErrno(errno);
        return false;
    }
    connection.Attach(fd, false);
    return true;
}

long AsyncSocket::PeerOwner() const {
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        ::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        peer.sin_family != AF_INET) {
        return -1;
    }
    return TcpSocketOwner(peer, local); // the peer's socket: its local address is our remote one
}

int AsyncSocket::Receive(void* buffer, int length) {
    ssize_t got = ::recv(fd_, buffer, std::size_t(length), 0);
    if (got < 0) {
        lastError_ = WsaErrorFromErrno(errno);
        return -1;
    }
    return int(got);
}

int AsyncSocket::Send(const void* buffer, int length) {
    ssize_t sent = ::send(fd_, buffer, std::size_t(length), MSG_NOSIGNAL);
    if (sent < 0) {
        lastError_ = WsaErrorFromErrno(errno);
        return -1;
    }
    return int(sent);
}

void AsyncSocket::Close() {
    if (fd_ < 0) {
        return;
    }
    if (readNotifier_) {
        readNotifier_->setEnabled(false);
        readNotifier_->deleteLater(); // may be the sender of the signal being handled
        readNotifier_ = nullptr;
    }
    ::close(fd_);
    fd_ = -1;
}

void AsyncSocket::OnAccept(int) {}
void AsyncSocket::OnReceive(int) {}
void AsyncSocket::OnClose(int) {}

void AsyncSocket::PauseNotifications(bool paused) {
    paused_ = paused;
    if (!paused && readNotifier_ && !readNotifier_->isEnabled()) {
        readNotifier_->setEnabled(true); // what arrived meanwhile is notified now
    }
}

void AsyncSocket::Attach(int fd, bool listening) {
    fd_ = fd;
    listening_ = listening;
    readNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

void AsyncSocket::OnReadable() {
    if (paused_) {
        readNotifier_->setEnabled(false); // until the pause ends
        return;
    }
    if (listening_) {
        // Take every connection already waiting, so a burst of clients does not
        // overflow a short listen queue while the event loop goes round.
        for (int taken = 0; taken < kAcceptBurst && fd_ >= 0; ++taken) {
            OnAccept(0);
            pollfd pending{fd_, POLLIN, 0};
            if (::poll(&pending, 1, 0) <= 0) {
                break;
            }
        }
        return;
    }
    // Data waiting is a receive notification; the end of the stream, or an
    // error, is the close notification.
    char probe;
    ssize_t got = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
        OnReceive(0);
    } else if (got == 0) {
        OnClose(0);
    } else if (errno != EAGAIN && errno != EINTR) {
        OnClose(WsaErrorFromErrno(errno));
    }
}

} // namespace platform
