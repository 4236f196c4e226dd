// The intercepted calls inside a process: options, select limits, handles that
// are not the provider's, closing, counting, inspection and the redirect.

#include "tests/platform/sockhost/blocked_receive.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/provider/zul/zul_fixture.h"

#include <cstring>
#include <fcntl.h>

namespace {

using qmtest::ZulTest;

TEST_F(ZulTest, WideProtocolInformationIsTheLayerEntry) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    WSAPROTOCOL_INFOW info{};
    int length = sizeof info;
    ASSERT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_PROTOCOL_INFOW_W, reinterpret_cast<char*>(&info),
                            &length),
              0);
    EXPECT_EQ(length, 628);
    EXPECT_EQ(info.ProviderId, qmtest::kChainGuid);
    EXPECT_EQ(info.ProtocolChain.ChainLen, 2);
    EXPECT_EQ(std::u16string(info.szProtocol), u"Quellmark over MSAFD Tcpip [TCP/IP]");
    length = 627;
    EXPECT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_PROTOCOL_INFOW_W, reinterpret_cast<char*>(&info),
                            &length),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    char narrow[372] = {};
    length = sizeof narrow;
    ASSERT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_PROTOCOL_INFOA_W, narrow, &length), 0);
    EXPECT_STREQ(narrow + 116, "Quellmark over MSAFD Tcpip [TCP/IP]");
    length = 371;
    EXPECT_EQ(ws_getsockopt(s, SOL_SOCKET_W, SO_PROTOCOL_INFOA_W, narrow, &length), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    closesocket(s);
}

TEST_F(ZulTest, SelectTakesAtMostSixtyFourSocketsPerSet) {
    struct BigSet {
        unsigned fd_count;
        SOCKET fd_array[65];
    } big{};
    std::vector<SOCKET> sockets;
    for (int i = 0; i < 65; ++i) {
        sockets.push_back(WSASocketW(AF_INET_W, SOCK_DGRAM_W, 0, nullptr, 0, 0));
        big.fd_array[big.fd_count++] = sockets.back();
    }
    timeval none{0, 0};
    EXPECT_EQ(ws_select(0, reinterpret_cast<WSA_FD_SET*>(&big), nullptr, nullptr, &none),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOBUFS);
    big.fd_count = 64;
    EXPECT_EQ(ws_select(0, nullptr, reinterpret_cast<WSA_FD_SET*>(&big), nullptr, &none), 64);
    EXPECT_EQ(big.fd_array[0], sockets[0]); // the program's handles come back
    for (SOCKET s : sockets) {
        closesocket(s);
    }
}

TEST_F(ZulTest, AsyncSelectRefusesAnEventMaskOf1024) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
    HWND window = reinterpret_cast<HWND>(std::uintptr_t(0x1234));
    EXPECT_EQ(WSAAsyncSelect(s, window, WM_USER_W + 5, 1024), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    closesocket(s);
}

TEST_F(ZulTest, AHandleThatIsNotTheProvidersFailsWithNotASocket) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0); // starts the provider
    LPWSPSTARTUP startup = ProviderStartup();
    WSAPROTOCOL_INFOW chain = FirstChain();
    WSPDATA data{};
    WSPPROC_TABLE table{};
    ASSERT_EQ(startup(MAKEWORD_W(2, 2), &data, &chain, *qm_sockhost_upcalls(), &table), 0);
    int local = ::socket(AF_UNIX, SOCK_STREAM, 0);
    char byte = 0;
    WSABUF buffer{1, &byte};
    DWORD received = 0;
    DWORD flags = 0;
    int error = 0;
    EXPECT_EQ(table.lpWSPRecv(SOCKET(local), &buffer, 1, &received, &flags, nullptr, nullptr,
                              nullptr, &error),
              SOCKET_ERROR);
    EXPECT_EQ(error, WSAENOTSOCK);
    EXPECT_TRUE(Logged("WSPRecv: WPUQuerySocketHandleContext() failed: 10038"));
    EXPECT_EQ(table.lpWSPCloseSocket(SOCKET(local), &error), SOCKET_ERROR);
    EXPECT_EQ(error, WSAENOTSOCK);
    table.lpWSPCleanup(&error);
    ::close(local);
    closesocket(s);
}

TEST_F(ZulTest, CloseWhileAnotherThreadReceivesEndsTheReceive) {
    qmtest::LoopbackServer server(1, [](int peer) { qmtest::ReadAll(peer); });
    int fd = qmtest::ConnectLoopback(server.port());
    ASSERT_GE(fd, 0);
    ssize_t received = 1;
    EXPECT_EQ(qmtest::CloseUnderABlockedReceive(fd, received), 0);
    EXPECT_LE(received, 0);
    char layered[40];
    std::snprintf(layered, sizeof layered, "0x%016X (provider 0x", unsigned(fd));
    EXPECT_TRUE(Logged(std::string("WSPCloseSocket: Closing layered socket ") + layered));
    EXPECT_TRUE(Logged("Closed lower provider socket: 0x0000000000"));
    EXPECT_TRUE(Logged("dwOutstanding = 0; RefCount = 2"));
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1); // released by the receive's end
}

TEST_F(ZulTest, CloseReportsTheBytesOfTheSocketsLife) {
    qmtest::LoopbackServer server(1, qmtest::Echo);
    int fd = qmtest::ConnectLoopback(server.port());
    ASSERT_TRUE(qmtest::WriteAll(fd, "12345", 5));
    char reply[5];
    ASSERT_EQ(::recv(fd, reply, 5, MSG_WAITALL), 5);
    EXPECT_TRUE(Logged("WSPSend()->lpBuffers - 12345"));
    ::close(fd);
    EXPECT_TRUE(Logged("Closing socket " + std::to_string(fd) + " Bytes Sent [5] Bytes Recv [5]"));
}

// The service cannot be reached here: a GET is treated as blocked and its
// socket's next receive is the redirect, after which the stream ends.
TEST_F(ZulTest, GetWithoutServiceIsRedirectedAndTheRestIsNeverSeen) {
    qmtest::LoopbackServer server(1, [](int peer) {
        char buffer[256];
        ::recv(peer, buffer, sizeof buffer, 0);
        std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(5000, 'x');
        qmtest::WriteAll(peer, answer.data(), answer.size());
        qmtest::ReadAll(peer);
    });
    int fd = qmtest::ConnectLoopback(server.port());
    ASSERT_TRUE(qmtest::WriteAll(fd, "GE", 2));
    EXPECT_FALSE(Logged("CInformant::InspectBuffer"));
    // The request line split over two sends is gathered and decided whole.
    std::string request = "T /News/Index.html HTTP/1.1\nHost: Alpha\n\n";
    ASSERT_TRUE(qmtest::WriteAll(fd, request.data(), request.size()));
    EXPECT_TRUE(Logged("Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"));
    std::string seen = qmtest::ReadAll(fd);
    EXPECT_EQ(seen, "HTTP/1.1 302 Found\nLocation: http://127.0.0.1:4180/?site="
                    "http://alpha/news/index.html/\n\n");
    EXPECT_TRUE(Logged("Found a Socket to block - REDIRECTING"));
    ::close(fd);
}

// A program that peeks at the answer first still reads the redirect after it.
TEST_F(ZulTest, PeekShowsTheRedirectAndTheReadTakesIt) {
    qmtest::LoopbackServer server(1, [](int peer) {
        char buffer[256];
        ::recv(peer, buffer, sizeof buffer, 0);
        qmtest::WriteAll(peer, "HTTP/1.1 200 OK\r\n\r\nbody", 23);
        qmtest::ReadAll(peer);
    });
    int fd = qmtest::ConnectLoopback(server.port());
    std::string get = "GET /p HTTP/1.1\r\nHost: beta\r\n\r\n";
    ASSERT_TRUE(qmtest::WriteAll(fd, get.data(), get.size()));
    std::string redirect =
        "HTTP/1.1 302 Found\nLocation: http://127.0.0.1:4180/?site=http://beta/p/\n\n";
    char peeked[512] = {};
    ssize_t n = ::recv(fd, peeked, sizeof peeked, MSG_PEEK);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(peeked, size_t(n)), redirect);
    EXPECT_EQ(qmtest::ReadAll(fd), redirect);
    ::close(fd);
}

} // namespace
