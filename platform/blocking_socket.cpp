#include "platform/blocking_socket.h"

#include "platform/name_lookup.h"
#include "platform/wsa_errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

// One call in progress: marks the socket busy and holds its handle, which a
// close from another thread meanwhile only shuts down; the call closes it.
class BlockingCall {
  public:
    explicit BlockingCall(BlockingSocket& socket) : socket_(socket) {
        std::lock_guard lock(socket_.callLock_);
        socket_.busy_ = true;
        fd_ = socket_.fd_;
    }
    ~BlockingCall() {
        std::lock_guard lock(socket_.callLock_);
        socket_.busy_ = false;
        if (socket_.closeAfterCall_) {
            socket_.closeAfterCall_ = false;
            ::close(fd_);
        }
    }
    BlockingCall(const BlockingCall&) = delete;
    BlockingCall& operator=(const BlockingCall&) = delete;

    int Fd() const { return fd_; }

  private:
    BlockingSocket& socket_;
    int fd_ = -1;
};

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

bool BlockingSocket::WaitFor(int fd, short events) {
    int timeout = timeoutMs_;
    if (timeout <= 0) {
        return true;
    }
    pollfd wanted{fd, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&wanted, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        Fail(ETIMEDOUT);
        return false;
    }
    if (ready < 0) {
        Fail(errno);
        return false;
    }
    return true;
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
    sockaddr_in address{};
    switch (LookUpAddress(host, port, timeoutMs_, address)) {
    case LookupResult::Found:
        break;
    case LookupResult::NotFound:
        Fail(EHOSTUNREACH);
        return false;
    case LookupResult::TimedOut:
        Fail(ETIMEDOUT);
        return false;
    }
    BlockingCall call(*this);
    int fd = call.Fd();
    int flags = ::fcntl(fd, F_GETFL);
    bool limited = timeoutMs_ > 0 && flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
    int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int error = result == 0 ? 0 : errno;
    if (result != 0 && (error == EINPROGRESS || error == EINTR)) {
        // Blocking or not, the connect goes on in the background: wait for its end.
        pollfd wanted{fd, POLLOUT, 0};
        int ready = 0;
        do {
            ready = ::poll(&wanted, 1, limited ? int(timeoutMs_) : -1);
        } while (ready < 0 && errno == EINTR);
        socklen_t size = sizeof error;
        if (ready == 0) {
            error = ETIMEDOUT;
        } else if (ready < 0) {
            error = errno;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            error = errno;
        }
    }
    if (limited) {
        ::fcntl(fd, F_SETFL, flags);
    }
    if (error != 0) {
        Fail(error);
        return false;
    }
    return true;
}

int BlockingSocket::Send(const void* bytes, int length) {
    BlockingCall call(*this);
    int done = 0;
    while (done < length) {
        if (!WaitFor(call.Fd(), POLLOUT)) {
            return -1;
        }
        int flags = MSG_NOSIGNAL | (timeoutMs_ > 0 ? MSG_DONTWAIT : 0);
        ssize_t sent = ::send(call.Fd(), static_cast<const char*>(bytes) + done,
                              std::size_t(length - done), flags);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN)) {
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
    BlockingCall call(*this);
    int fd = call.Fd();
    if (!WaitFor(fd, POLLIN)) {
        return -1;
    }
    ssize_t got = 0;
    do {
        got = ::recv(fd, buffer, std::size_t(capacity), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        Fail(fd < 0 ? EBADF : errno);
        return -1;
    }
    int pending = 0;
    socklen_t size = sizeof pending;
    if (got == 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending) {
        Fail(pending); // the peer reset the connection after closing it
        return -1;
    }
    return int(got);
}

BlockingSocket::Waiting BlockingSocket::Peek() {
    char byte = 0;
    ssize_t got = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
        return Waiting::Bytes;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return Waiting::Nothing;
    }
    return Waiting::Closed; // end of stream, or an error such as a reset
}

void BlockingSocket::Close() {
    std::lock_guard lock(callLock_);
    int fd = fd_.exchange(-1);
    if (fd < 0) {
        return;
    }
    if (busy_) {
        ::shutdown(fd, SHUT_RDWR); // ends the call in progress, which closes the handle
        closeAfterCall_ = true;
    } else {
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
