#include "platform/qt/presence_endpoint.h"

#include "platform/presence.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {

// A connected client and the part of a line it has sent so far.
struct PresenceEndpoint::Client {
    std::unique_ptr<QSocketNotifier> notifier;
    std::string pending;
};

// Longest line kept; a client that sends more without a line feed is dropped.
constexpr std::size_t kMaxLine = 256;

PresenceEndpoint::PresenceEndpoint(QObject* parent) : QObject(parent) {}

PresenceEndpoint::~PresenceEndpoint() {
    for (auto& entry : clients_) {
        ::close(entry.first);
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
}

bool PresenceEndpoint::Listen(const std::string& name) {
    listenFd_ = ListenOnName(name);
    if (listenFd_ < 0) {
        return false;
    }
    acceptNotifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] { Accept(); });
    return true;
}

void PresenceEndpoint::Accept() {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (!PeerIsOwnAccount(fd)) {
        ::close(fd); // control messages come from this account's processes only
        return;
    }
    auto client = std::make_unique<Client>();
    client->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(client->notifier.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
    clients_[fd] = std::move(client);
}

void PresenceEndpoint::Read(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) {
        return;
    }
    char buffer[512];
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
        Drop(fd);
        return;
    }
    std::string& pending = it->second->pending;
    pending.append(buffer, std::size_t(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        if (ParseControlMessage(line, message, wParam, lParam)) {
            emit controlMessage(message, wParam, lParam);
            if (!clients_.count(fd)) {
                return; // the handler ended this endpoint's clients
            }
        }
    }
    if (pending.size() > kMaxLine) {
        Drop(fd);
    }
}

void PresenceEndpoint::Drop(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) {
        return;
    }
    // The notifier may be the sender of the signal being handled: let Qt free it.
    it->second->notifier->setEnabled(false);
    it->second->notifier.release()->deleteLater();
    clients_.erase(it);
    ::close(fd);
}

} // namespace platform
