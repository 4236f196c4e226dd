// The base provider's extension functions through the socket host: AcceptEx
// and ConnectEx exchange data, TransmitFile and TransmitPackets send files and
// memory byte for byte, DisconnectEx ends the connection, WSARecvMsg names the
// sender.

#include "platform/winsock_ext.h"
#include "tests/platform/sockhost/host_fixture.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/platform/sockhost/overlapped_support.h"

#include <cstring>
#include <fcntl.h>
#include <random>
#include <thread>

namespace {

using qmtest::Extension;
using qmtest::Finish;
using qmtest::SocketHostTest;

SOCKET TcpSocket() {
    return WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, WSA_FLAG_OVERLAPPED);
}

TEST_F(SocketHostTest, AcceptExAndConnectExExchangeData) {
    SOCKET listening = TcpSocket();
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_EQ(ws_listen(listening, 4), 0);
    auto acceptEx = Extension<LPFN_ACCEPTEX>(listening, WSAID_ACCEPTEX);
    auto sockaddrs = Extension<LPFN_GETACCEPTEXSOCKADDRS>(listening, WSAID_GETACCEPTEXSOCKADDRS);
    ASSERT_NE(acceptEx, nullptr);
    ASSERT_NE(sockaddrs, nullptr);

    SOCKET accepting = TcpSocket();
    constexpr DWORD kAddress = sizeof(sockaddr_in) + 16;
    char output[5 + 2 * kAddress] = {};
    WSAOVERLAPPED acceptRecord{};
    DWORD received = 0;
    BOOL accepted =
        acceptEx(listening, accepting, output, 5, kAddress, kAddress, &received, &acceptRecord);

    SOCKET client = TcpSocket();
    sockaddr_in any = qmtest::LoopbackAddress(0);
    ASSERT_EQ(ws_bind(client, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    auto connectEx = Extension<LPFN_CONNECTEX>(client, WSAID_CONNECTEX);
    ASSERT_NE(connectEx, nullptr);
    char hello[] = "hello";
    WSAOVERLAPPED connectRecord{};
    DWORD sent = 0;
    BOOL connected = connectEx(client, reinterpret_cast<sockaddr*>(&address), sizeof address, hello,
                               5, &sent, &connectRecord);
    EXPECT_EQ(Finish(client, connected, connectRecord), 5u);
    EXPECT_EQ(Finish(accepting, accepted, acceptRecord), 5u);
    EXPECT_EQ(std::string(output, 5), "hello");

    sockaddr* local = nullptr;
    sockaddr* remote = nullptr;
    int localLength = 0;
    int remoteLength = 0;
    sockaddrs(output, 5, kAddress, kAddress, &local, &localLength, &remote, &remoteLength);
    sockaddr_in clientAddress{};
    int clientLength = sizeof clientAddress;
    ws_getsockname(client, reinterpret_cast<sockaddr*>(&clientAddress), &clientLength);
    ASSERT_EQ(remoteLength, int(sizeof(sockaddr_in)));
    // The addresses follow the received bytes, so they need not be aligned.
    sockaddr_in remoteAddress{};
    sockaddr_in localAddress{};
    std::memcpy(&remoteAddress, remote, sizeof remoteAddress);
    std::memcpy(&localAddress, local, sizeof localAddress);
    EXPECT_EQ(remoteAddress.sin_port, clientAddress.sin_port);
    EXPECT_EQ(localAddress.sin_port, address.sin_port);

    // The program's handle of the accepting socket is the connection now.
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    ASSERT_EQ(ws_getpeername(accepting, reinterpret_cast<sockaddr*>(&peer), &peerLength), 0);
    EXPECT_EQ(peer.sin_port, clientAddress.sin_port);
    ASSERT_EQ(::send(int(accepting), "reply", 5, MSG_NOSIGNAL), 5);
    char reply[5];
    EXPECT_EQ(::recv(int(client), reply, 5, MSG_WAITALL), 5);
    EXPECT_EQ(std::string(reply, 5), "reply");

    auto disconnectEx = Extension<LPFN_DISCONNECTEX>(client, WSAID_DISCONNECTEX);
    ASSERT_NE(disconnectEx, nullptr);
    EXPECT_TRUE(disconnectEx(client, nullptr, 0, 0));
    char byte;
    EXPECT_EQ(::recv(int(accepting), &byte, 1, 0), 0);
    closesocket(client);
    closesocket(accepting);
    closesocket(listening);
}

// A connected pair, and a file of random bytes.
class Transmit : public SocketHostTest {
  protected:
    int listener = -1;
    SOCKET s = INVALID_SOCKET;
    int peer = -1;
    int file = -1;
    std::string contents;

    void SetUp() override {
        SocketHostTest::SetUp();
        unsigned short port = 0;
        listener = qmtest::ListenLoopback(port);
        s = SOCKET(qmtest::ConnectLoopback(port));
        peer = ::accept(listener, nullptr, nullptr);
        std::mt19937 random(7);
        contents.resize(300000);
        for (char& c : contents) {
            c = char(random());
        }
        std::string path = dir / "payload.bin";
        file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_EQ(::write(file, contents.data(), contents.size()), ssize_t(contents.size()));
    }
    void TearDown() override {
        ::close(file);
        ::close(peer);
        ::close(int(s));
        ::close(listener);
        SocketHostTest::TearDown();
    }
};

TEST_F(Transmit, TransmitFileSendsHeadFileAndTailByteIdentical) {
    auto transmitFile = Extension<LPFN_TRANSMITFILE>(s, WSAID_TRANSMITFILE);
    ASSERT_NE(transmitFile, nullptr);
    char head[] = "HEAD";
    char tail[] = "TAIL";
    TRANSMIT_FILE_BUFFERS buffers{head, 4, tail, 4};
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    std::string got;
    std::thread reader([&] { got = qmtest::ReadAll(peer); });
    BOOL started = transmitFile(s, FileHandle(file), 0, 0, &overlapped, &buffers, TF_DISCONNECT);
    EXPECT_EQ(Finish(s, started, overlapped), contents.size() + 8);
    reader.join();
    EXPECT_EQ(got, "HEAD" + contents + "TAIL");
    WSACloseEvent(overlapped.hEvent);
}

TEST_F(Transmit, TransmitPacketsSendsMemoryAndFileRanges) {
    auto transmitPackets = Extension<LPFN_TRANSMITPACKETS>(s, WSAID_TRANSMITPACKETS);
    ASSERT_NE(transmitPackets, nullptr);
    char first[] = "first:";
    TRANSMIT_PACKETS_ELEMENT elements[2]{};
    elements[0].dwElFlags = TP_ELEMENT_MEMORY;
    elements[0].cLength = 6;
    elements[0].pBuffer = first;
    elements[1].dwElFlags = TP_ELEMENT_FILE;
    elements[1].cLength = 1000;
    elements[1].nFileOffset = 500;
    elements[1].hFile = FileHandle(file);
    std::string got;
    std::thread reader([&] { got = qmtest::ReadAll(peer); });
    EXPECT_TRUE(transmitPackets(s, elements, 2, 0, nullptr, TF_DISCONNECT));
    reader.join();
    EXPECT_EQ(got, "first:" + contents.substr(500, 1000));
}

TEST_F(SocketHostTest, RecvMsgNamesTheSender) {
    SOCKET receiver = WSASocketW(AF_INET_W, SOCK_DGRAM_W, IPPROTO_UDP_W, nullptr, 0, 0);
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(receiver, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    auto recvMsg = Extension<LPFN_WSARECVMSG>(receiver, WSAID_WSARECVMSG);
    ASSERT_NE(recvMsg, nullptr);
    int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(::sendto(sender, "dgram", 5, 0, reinterpret_cast<sockaddr*>(&address), length), 5);
    char buffer[16] = {};
    WSABUF data{sizeof buffer, buffer};
    sockaddr_in from{};
    WSAMSG message{reinterpret_cast<sockaddr*>(&from), sizeof from, &data, 1, {0, nullptr}, 0};
    DWORD received = 0;
    ASSERT_EQ(recvMsg(receiver, &message, &received, nullptr, nullptr), 0);
    EXPECT_EQ(received, 5u);
    EXPECT_EQ(std::string(buffer, 5), "dgram");
    sockaddr_in senderAddress{};
    socklen_t senderLength = sizeof senderAddress;
    ::getsockname(sender, reinterpret_cast<sockaddr*>(&senderAddress), &senderLength);
    EXPECT_EQ(from.sin_port, senderAddress.sin_port);
    EXPECT_EQ(message.namelen, int(sizeof from));
    ::close(sender);
    closesocket(receiver);
}

TEST_F(SocketHostTest, UnknownExtensionIsInvalid) {
    SOCKET s = TcpSocket();
    GUID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    void* function = nullptr;
    DWORD returned = 0;
    EXPECT_EQ(WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &unknown, sizeof unknown, &function,
                       sizeof function, &returned, nullptr, nullptr),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    closesocket(s);
}

} // namespace
