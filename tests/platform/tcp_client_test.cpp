#include "platform/tcp_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A listener on a free loopback port; returns its fd and port.
int Listen(WORD* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

TEST(TcpClient, RequestAndReplyOverLoopback) {
    WORD port = 0;
    int listener = Listen(&port);
    ASSERT_GE(listener, 0);
    SOCKET s = platform::TcpSocket();
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(platform::TcpConnect(s, "127.0.0.1", port), 0);
    EXPECT_EQ(platform::TcpWaitWritable(s, 1, 0), 1);
    EXPECT_EQ(platform::TcpPendingError(s), 0);
    int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(platform::TcpSend(s, "ping", 4), 4);
    char buffer[8] = {};
    ASSERT_EQ(::recv(peer, buffer, sizeof buffer, 0), 4);
    ASSERT_EQ(::send(peer, "pong", 4, 0), 4);
    EXPECT_EQ(platform::TcpRecv(s, buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "pong");
    ::close(peer);
    EXPECT_EQ(platform::TcpRecv(s, buffer, sizeof buffer), 0); // closed by the peer
    EXPECT_EQ(platform::TcpClose(s), 0);
    ::close(listener);
}

TEST(TcpClient, FailuresCarryWinsockCodes) {
    WORD port = 0;
    int listener = Listen(&port);
    ASSERT_GE(listener, 0);
    ::close(listener); // nobody listens there now
    SOCKET s = platform::TcpSocket();
    EXPECT_EQ(platform::TcpConnect(s, "127.0.0.1", port), SOCKET_ERROR);
    EXPECT_EQ(platform::TcpLastError(), WSAECONNREFUSED);
    EXPECT_EQ(platform::TcpConnect(s, "not an address", port), SOCKET_ERROR);
    EXPECT_EQ(platform::TcpLastError(), WSAEINVAL);
    platform::TcpClose(s);
    EXPECT_EQ(platform::TcpSend(INVALID_SOCKET, "x", 1), SOCKET_ERROR);
    EXPECT_EQ(platform::TcpLastError(), WSAENOTSOCK);
    EXPECT_EQ(platform::TcpRecv(INVALID_SOCKET, nullptr, 0), SOCKET_ERROR);
}

// A send to a peer that is gone reports an error instead of ending the process.
TEST(TcpClient, SendToAResetPeerFailsWithoutASignal) {
    WORD port = 0;
    int listener = Listen(&port);
    SOCKET s = platform::TcpSocket();
    ASSERT_EQ(platform::TcpConnect(s, "127.0.0.1", port), 0);
    int peer = ::accept(listener, nullptr, nullptr);
    linger hard{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(peer);
    char buffer[4];
    EXPECT_EQ(platform::TcpRecv(s, buffer, sizeof buffer), SOCKET_ERROR);
    EXPECT_EQ(platform::TcpLastError(), WSAECONNRESET);
    EXPECT_EQ(platform::TcpSend(s, "x", 1), SOCKET_ERROR);
    platform::TcpClose(s);
    ::close(listener);
}

} // namespace
