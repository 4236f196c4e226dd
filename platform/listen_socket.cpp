#include "platform/listen_socket.h"

#include "platform/winsock_types.h"
#include "platform/wsa_errors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

int CreateBoundTcpSocket(const std::string& address, std::uint16_t port, int* wsaError) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        *wsaError = WSAEINVAL;
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *wsaError = WsaErrorFromErrno(errno);
        return -1;
    }
    // On Linux a port with connections in TIME_WAIT cannot be bound again without
    // SO_REUSEADDR for a minute, so a restarted service would run without its
    // channel. The option never lets two sockets listen on one port here.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *wsaError = WsaErrorFromErrno(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SetReuseAddress(int fd, int* wsaError) {
    int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        *wsaError = WsaErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool ListenOn(int fd, int backlog, int* wsaError) {
    if (::listen(fd, backlog) != 0) {
        *wsaError = WsaErrorFromErrno(errno);
        return false;
    }
    return true;
}

void CloseSocket(int fd) {
    ::close(fd);
}

} // namespace platform
