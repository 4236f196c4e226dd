#include "platform/blocking_socket.h"

#include "platform/wsa_errors.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// Marks a blocking call as in progress for its duration.
class BusyMark {
  public:
    explicit BusyMark(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
    ~BusyMark() { flag_ = false; }

  private:
    std::atomic<bool>& flag_;
};

} // namespace

BlockingSocket::~BlockingSocket() {
    Close();
}

void BlockingSocket::Fail(int error) {
    lastErrno_ = error;
    lastError_ = WsaErrorFromErrno(error);
}

std::string BlockingSocket::LastErrorText() const {
    return std::strerror(lastErrno_);
}

bool BlockingSocket::Create() {
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Fail(errno);
        return false;
    }
    fd_ = fd;
    return true;
}

bool BlockingSocket::Connect(const std::string& host, unsigned port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        Fail(EHOSTUNREACH);
        return false;
    }
    BusyMark busy(busy_);
    int result = 0;
    do {
        result = ::connect(fd_, found->ai_addr, found->ai_addrlen);
    } while (result != 0 && errno == EINTR);
    int error = errno;
    ::freeaddrinfo(found);
    if (result != 0) {
        Fail(error);
        return false;
    }
    return true;
}

int BlockingSocket::Send(const void* bytes, int length) {
    BusyMark busy(busy_);
    int done = 0;
    while (done < length) {
        ssize_t sent = ::send(fd_, static_cast<const char*>(bytes) + done,
                              std::size_t(length - done), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0) {
            Fail(errno);
            return -1;
        }
        done += int(sent);
    }
    return done;
}

int BlockingSocket::Receive(void* buffer, int capacity) {
    BusyMark busy(busy_);
    ssize_t got = 0;
    do {
        got = ::recv(fd_, buffer, std::size_t(capacity), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        Fail(fd_ < 0 ? EBADF : errno);
        return -1;
    }
    int pending = 0;
    socklen_t size = sizeof pending;
    if (got == 0 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending) {
        Fail(pending); // the peer reset the connection after closing it
        return -1;
    }
    return int(got);
}

void BlockingSocket::Close() {
    int fd = fd_.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

int BlockingSocket::Detach() {
    return fd_.exchange(-1);
}

void BlockingSocket::Attach(int fd) {
    Close();
    fd_ = fd;
}

} // namespace platform
