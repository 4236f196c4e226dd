#include "platform/tcp_client.h"

#include "platform/wsa_errors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

thread_local int tLastError = 0;

int Fail(int wsaError) {
    tLastError = wsaError;
    return SOCKET_ERROR;
}

int FailFromErrno() {
    return Fail(WsaErrorFromErrno(errno));
}

bool IsFd(SOCKET s) {
    return s <= SOCKET(0x7fffffff);
}

} // namespace

SOCKET TcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        FailFromErrno();
        return INVALID_SOCKET;
    }
    return SOCKET(fd);
}

int TcpConnect(SOCKET s, const char* ipv4Address, WORD port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, ipv4Address, &address.sin_addr) != 1) {
        return Fail(WSAEINVAL);
    }
    if (!IsFd(s)) {
        return Fail(WSAENOTSOCK);
    }
    if (::connect(int(s), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    if (errno == EINPROGRESS || errno == EINTR) {
        return Fail(WSAEWOULDBLOCK);
    }
    return FailFromErrno();
}

int TcpWaitWritable(SOCKET s, long seconds, long microseconds) {
    if (!IsFd(s)) {
        return Fail(WSAENOTSOCK);
    }
    pollfd entry{int(s), POLLOUT, 0};
    int timeout = int(seconds * 1000 + (microseconds + 999) / 1000);
    int ready = ::poll(&entry, 1, timeout);
    if (ready < 0) {
        return FailFromErrno();
    }
    return ready > 0 && (entry.revents & POLLOUT) ? 1 : 0;
}

int TcpPendingError(SOCKET s) {
    int error = 0;
    socklen_t length = sizeof error;
    if (!IsFd(s) || ::getsockopt(int(s), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return WSAENOTSOCK;
    }
    return error == 0 ? 0 : WsaErrorFromErrno(error);
}

int TcpSend(SOCKET s, const char* bytes, int count) {
    if (!IsFd(s) || count < 0) {
        return Fail(IsFd(s) ? WSAEINVAL : WSAENOTSOCK);
    }
    ssize_t sent;
    do {
        sent = ::send(int(s), bytes, std::size_t(count), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? FailFromErrno() : int(sent);
}

int TcpRecv(SOCKET s, char* buffer, int capacity) {
    if (!IsFd(s) || capacity < 0) {
        return Fail(IsFd(s) ? WSAEINVAL : WSAENOTSOCK);
    }
    ssize_t received;
    do {
        received = ::recv(int(s), buffer, std::size_t(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? FailFromErrno() : int(received);
}

int TcpClose(SOCKET s) {
    if (!IsFd(s)) {
        return Fail(WSAENOTSOCK);
    }
    if (::close(int(s)) != 0) {
        return FailFromErrno();
    }
    return 0;
}

bool TcpIdle(SOCKET s) {
    if (!IsFd(s)) {
        return false;
    }
    pollfd entry{int(s), POLLIN | POLLRDHUP, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}

int TcpLastError() {
    return tLastError;
}

} // namespace platform
