// Data and errors through the base provider: the socket layer's calls and the
// POSIX calls of a program on the same sockets.

#include "tests/platform/sockhost/host_fixture.h"
#include "tests/platform/sockhost/loopback.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>

namespace {

using qmtest::SocketHostTest;

TEST_F(SocketHostTest, PosixCallsCarryDataBothWays) {
    qmtest::LoopbackServer server(1, qmtest::Echo);
    int fd = qmtest::ConnectLoopback(server.port());
    ASSERT_TRUE(IsHostSocket(fd));
    ASSERT_EQ(::send(fd, "ping", 4, MSG_NOSIGNAL), 4);
    char reply[8] = {};
    ASSERT_EQ(::recv(fd, reply, sizeof reply, 0), 4);
    EXPECT_STREQ(reply, "ping");
    iovec parts[2] = {{const_cast<char*>("ab"), 2}, {const_cast<char*>("cd"), 2}};
    ASSERT_EQ(::writev(fd, parts, 2), 4);
    char first[2];
    char second[2];
    iovec in[2] = {{first, 2}, {second, 2}};
    ssize_t got = 0;
    while (got < 4) {
        msghdr message{};
        message.msg_iov = in;
        message.msg_iovlen = 2;
        ssize_t n = ::recvmsg(fd, &message, MSG_WAITALL);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(std::string(first, 2) + std::string(second, 2), "abcd");
    ::close(fd);
}

TEST_F(SocketHostTest, WinsockCallsCarryDataAndReportErrors) {
    qmtest::LoopbackServer server(1, qmtest::Echo);
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in address = qmtest::LoopbackAddress(server.port());
    ASSERT_EQ(WSAConnect(s, reinterpret_cast<sockaddr*>(&address), sizeof address, nullptr, nullptr,
                         nullptr, nullptr),
              0);
    char text[] = "hello";
    WSABUF out{5, text};
    DWORD sent = 0;
    ASSERT_EQ(WSASend(s, &out, 1, &sent, 0, nullptr, nullptr), 0);
    EXPECT_EQ(sent, 5u);
    char buffer[16] = {};
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(buffer, received), "hello");
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(WSASend(s, &out, 1, &sent, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(SocketHostTest, NonBlockingReceiveWouldBlock) {
    qmtest::LoopbackServer server(1, qmtest::Echo);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address = qmtest::LoopbackAddress(server.port());
    int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    EXPECT_TRUE(result == 0 || errno == EINPROGRESS);
    WSA_FD_SET writable{1, {SOCKET(fd)}};
    timeval wait{5, 0};
    ASSERT_EQ(ws_select(0, nullptr, &writable, nullptr, &wait), 1);
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), -1);
    EXPECT_EQ(errno, EAGAIN);
    WSABUF in{1, &byte};
    DWORD received = 0;
    DWORD flags = 0;
    EXPECT_EQ(WSARecv(SOCKET(fd), &in, 1, &received, &flags, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    std::uint32_t blocking = 0;
    EXPECT_EQ(ioctlsocket(SOCKET(fd), long(FIONBIO_W), &blocking), 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
}

TEST_F(SocketHostTest, RefusedConnectGivesTheSameErrorBothWays) {
    unsigned short port = 0;
    int listener = qmtest::ListenLoopback(port);
    ::close(listener); // nobody listens on the port now
    errno = 0;
    EXPECT_EQ(qmtest::ConnectLoopback(port), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    sockaddr_in address = qmtest::LoopbackAddress(port);
    EXPECT_EQ(WSAConnect(s, reinterpret_cast<sockaddr*>(&address), sizeof address, nullptr, nullptr,
                         nullptr, nullptr),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    closesocket(s);
}

TEST_F(SocketHostTest, DatagramsTravelWithTheirAddresses) {
    int receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = qmtest::LoopbackAddress(0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_TRUE(IsHostSocket(sender));
    ASSERT_EQ(::sendto(sender, "dgram", 5, 0, reinterpret_cast<sockaddr*>(&address), length), 5);
    char buffer[16] = {};
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ASSERT_EQ(::recvfrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLength),
              5);
    EXPECT_STREQ(buffer, "dgram");
    EXPECT_EQ(fromLength, sizeof from);
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    ::close(sender);
    ::close(receiver);
}

TEST_F(SocketHostTest, SocketOptionsUseTheSocketLayersNumbers) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    LINGER_W linger{1, 0};
    ASSERT_EQ(ws_setsockopt(s, SOL_SOCKET_W, SO_LINGER_W, reinterpret_cast<char*>(&linger),
                            sizeof linger),
              0);
    LINGER_W read{};
    int length = sizeof read;
    ASSERT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_LINGER_W, reinterpret_cast<char*>(&read), &length),
              0);
    EXPECT_EQ(read.l_onoff, 1);
    int type = 0;
    length = sizeof type;
    ASSERT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_TYPE_W, reinterpret_cast<char*>(&type), &length),
              0);
    EXPECT_EQ(type, SOCK_STREAM);
    EXPECT_EQ(ws_getsockopt(s, SOL_SOCKET_W, 0x7777, reinterpret_cast<char*>(&type), &length),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    closesocket(s);
}

} // namespace
