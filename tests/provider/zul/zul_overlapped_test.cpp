// Overlapped calls, extension functions and window notifications through the
// provider: completion routines on the calling thread, results without wait,
// closes with operations in flight, byte counters, AcceptEx with ConnectEx,
// TransmitFile, and notifications naming the layered handle.

#include "platform/win/thread.h"
#include "platform/win/wait.h"
#include "platform/win/window.h"
#include "platform/winsock_ext.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/platform/sockhost/overlapped_support.h"
#include "tests/provider/channel_server.h"
#include "tests/provider/zul/program_window.h"
#include "tests/provider/zul/zul_fixture.h"

#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using qmtest::AwaitRoutine;
using qmtest::Extension;
using qmtest::Finish;
using qmtest::gCompletion;
using qmtest::Routine;
using qmtest::ZulTest;

// A provider socket connected to a plain peer.
class ZulConnected : public qmtest::ConnectedTo<ZulTest> {
  protected:
    explicit ZulConnected(std::u16string library = u"libZUL.so") : ConnectedTo(3, library) {}
};

TEST_F(ZulConnected, ReceiveRoutineRunsOnTheCallingThreadWithTheLowerResult) {
    char buffer[16] = {};
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, Routine), SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    qmtest::WriteAll(peer, "hello", 5);
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.calls, 1);
    EXPECT_EQ(gCompletion.error, 0u);
    EXPECT_EQ(gCompletion.bytes, 5u);
    EXPECT_EQ(gCompletion.flags, 0u);
    EXPECT_EQ(gCompletion.thread, platform::win::CurrentThreadId());
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

// The first part of a ClientHello sent overlapped is held back and completes
// at once with all its bytes; the part that makes the record whole is decided,
// and without the service it is blocked: it fails as reset, the peer has
// received no byte, and every later call on the socket fails the same way.
TEST_F(ZulConnected, OverlappedHelloIsHeldThenBlockedWithoutTheService) {
    std::string hello = {22, 3, 1, 0, 47, 1, 0, 0, 43, 3, 3};
    hello += std::string(32, '\xab') + std::string{0, 0, 2, 0x13, 0x01, 1, 0, 0, 0};
    ASSERT_EQ(hello.size(), 52u);
    WSABUF first{20, hello.data()};
    DWORD sent = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSASend(s, &first, 1, &sent, 0, &overlapped, Routine), 0);
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.error, 0u);
    EXPECT_EQ(gCompletion.bytes, 20u);
    WSABUF rest{32, hello.data() + 20};
    EXPECT_EQ(WSASend(s, &rest, 1, &sent, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    char buffer[16];
    WSABUF in{sizeof buffer, buffer};
    DWORD flags = 0;
    EXPECT_EQ(WSARecv(s, &in, 1, &sent, &flags, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(qmtest::ReadAll(peer), "");
}

TEST_F(ZulConnected, ResultWithoutWaitIsIncompleteWhileInProgress) {
    char buffer[16] = {};
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, nullptr), SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    DWORD transferred = 0;
    EXPECT_FALSE(WSAGetOverlappedResult(s, &overlapped, &transferred, FALSE, &flags));
    EXPECT_EQ(WSAGetLastError(), WSA_IO_INCOMPLETE);
    qmtest::WriteAll(peer, "abc", 3);
    EXPECT_TRUE(WSAGetOverlappedResult(s, &overlapped, &transferred, TRUE, &flags));
    EXPECT_EQ(transferred, 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    WSACloseEvent(overlapped.hEvent);
}

TEST_F(ZulConnected, CloseLogCountsCompletedOverlappedTransfers) {
    char text[] = "12345";
    WSABUF out{5, text};
    DWORD count = 0;
    DWORD flags = 0;
    WSAOVERLAPPED sendRecord{};
    sendRecord.hEvent = WSACreateEvent();
    int result = WSASend(s, &out, 1, &count, 0, &sendRecord, nullptr);
    ASSERT_TRUE(result == 0 || WSAGetLastError() == WSA_IO_PENDING);
    EXPECT_TRUE(WSAGetOverlappedResult(s, &sendRecord, &count, TRUE, &flags));
    char buffer[8];
    WSABUF in{sizeof buffer, buffer};
    WSAOVERLAPPED receiveRecord{};
    receiveRecord.hEvent = WSACreateEvent();
    ASSERT_EQ(WSARecv(s, &in, 1, &count, &flags, &receiveRecord, nullptr), SOCKET_ERROR);
    qmtest::WriteAll(peer, "abc", 3);
    EXPECT_TRUE(WSAGetOverlappedResult(s, &receiveRecord, &count, TRUE, &flags));
    // The completion is counted before the program hears of it.
    int handle = int(s);
    ASSERT_EQ(closesocket(s), 0);
    s = INVALID_SOCKET;
    EXPECT_TRUE(
        Logged("Closing socket " + std::to_string(handle) + " Bytes Sent [5] Bytes Recv [3]"));
    WSACloseEvent(sendRecord.hEvent);
    WSACloseEvent(receiveRecord.hEvent);
}

TEST_F(ZulConnected, SocketClosedWithReceivePendingIsFreedWhenTheReceiveCompletes) {
    char buffer[16];
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, Routine), SOCKET_ERROR);
    int handle = int(s);
    ASSERT_EQ(closesocket(s), 0);
    s = INVALID_SOCKET;
    EXPECT_TRUE(Logged("dwOutstanding = 1; RefCount = 1"));
    EXPECT_TRUE(Logged("Closed lower provider socket"));
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.error, DWORD(WSA_OPERATION_ABORTED));
    EXPECT_EQ(gCompletion.calls, 1);
    // The handle is released with the context, after the completion.
    bool released = false;
    for (int i = 0; i < 500 && !released; ++i) {
        released = ::fcntl(handle, F_GETFD) < 0;
        SleepEx(10, FALSE);
    }
    EXPECT_TRUE(released);
}

// With the provider's test build, which tells its pool's count.
class ZulConnectedCounted : public ZulConnected {
  protected:
    ZulConnectedCounted() : ZulConnected(qmtest::kProbeLibrary) {}

    bool RecordsReturnTo(std::size_t count) {
        for (int i = 0; i < 500 && OutstandingRecords() != count; ++i) {
            SleepEx(10, FALSE);
        }
        return OutstandingRecords() == count;
    }

    // A thread that starts a receive with a routine and ends, without an
    // alertable wait, when told to; the receive completes in between.
    void ReceiveOnAThreadThatEnds(bool endBeforeCompletion) {
        std::size_t start = OutstandingRecords();
        char buffer[16];
        WSABUF in{sizeof buffer, buffer};
        WSAOVERLAPPED overlapped{};
        std::atomic<bool> issued{false};
        std::atomic<bool> end{endBeforeCompletion};
        std::thread issuer([&] {
            DWORD received = 0;
            DWORD flags = 0;
            EXPECT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, Routine), SOCKET_ERROR);
            EXPECT_EQ(WSAGetLastError(), WSA_IO_PENDING);
            issued = true;
            while (!end) {
                SleepEx(1, FALSE);
            }
        });
        while (!issued) {
            SleepEx(1, FALSE);
        }
        if (endBeforeCompletion) {
            issuer.join();
        }
        qmtest::WriteAll(peer, "late", 4);
        // The record is released once the routine has been queued or refused.
        EXPECT_TRUE(RecordsReturnTo(start));
        end = true;
        if (!endBeforeCompletion) {
            issuer.join();
        }
        EXPECT_EQ(gCompletion.calls, 0);
        EXPECT_EQ(std::string(buffer, 4), "late");
    }
};

// The routine's call is freed either way (the asan preset reports it if not).
TEST_F(ZulConnectedCounted, RoutineForAThreadThatEndsIsDroppedAndItsRecordReleased) {
    ReceiveOnAThreadThatEnds(false);
    ReceiveOnAThreadThatEnds(true);
    EXPECT_TRUE(Logged("IntermediateCompletionRoutine: WPUQueueApc() failed: " +
                       std::to_string(WSAEINVAL)));
}

// A client socket bound to the loopback address, and its ConnectEx (null when
// it cannot be had).
LPFN_CONNECTEX BoundClient(SOCKET& client) {
    client = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    sockaddr_in any = qmtest::LoopbackAddress(0);
    if (ws_bind(client, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        return nullptr;
    }
    return Extension<LPFN_CONNECTEX>(client, WSAID_CONNECTEX);
}

TEST_F(ZulTest, AcceptExAndConnectExExchangeDataThroughTheProvider) {
    SOCKET listening = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_EQ(ws_listen(listening, 4), 0);
    auto acceptEx = Extension<LPFN_ACCEPTEX>(listening, WSAID_ACCEPTEX);
    ASSERT_NE(acceptEx, nullptr);
    SOCKET accepting = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    constexpr DWORD kAddress = sizeof(sockaddr_in) + 16;
    char output[5 + 2 * kAddress] = {};
    WSAOVERLAPPED acceptRecord{};
    acceptRecord.hEvent = WSACreateEvent();
    DWORD received = 0;
    BOOL accepted =
        acceptEx(listening, accepting, output, 5, kAddress, kAddress, &received, &acceptRecord);

    SOCKET client = INVALID_SOCKET;
    auto connectEx = BoundClient(client);
    ASSERT_NE(connectEx, nullptr);
    char hello[] = "hello";
    WSAOVERLAPPED connectRecord{};
    connectRecord.hEvent = WSACreateEvent();
    DWORD sent = 0;
    BOOL connected = connectEx(client, reinterpret_cast<sockaddr*>(&address), sizeof address, hello,
                               5, &sent, &connectRecord);
    EXPECT_EQ(Finish(client, connected, connectRecord), 5u);
    EXPECT_EQ(Finish(accepting, accepted, acceptRecord), 5u);
    EXPECT_EQ(std::string(output, 5), "hello");

    char reply[] = "reply";
    WSABUF out{5, reply};
    DWORD count = 0;
    ASSERT_EQ(WSASend(accepting, &out, 1, &count, 0, nullptr, nullptr), 0);
    char got[5];
    WSABUF in{5, got};
    DWORD flags = MSG_WAITALL;
    ASSERT_EQ(WSARecv(client, &in, 1, &count, &flags, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(got, count), "reply");
    WSACloseEvent(acceptRecord.hEvent);
    WSACloseEvent(connectRecord.hEvent);
    closesocket(client);
    closesocket(accepting);
    closesocket(listening);
}

// ConnectEx connects as connect does: a refused program's is refused.
TEST_F(ZulTest, ConnectExOfARefusedProgramIsRefused) {
    qmtest::ChannelServer service(qmtest::FixedReplies("NN", "AB:Y"));
    int listener = qmtest::ListenOnLoopbackPort(0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    SOCKET client = INVALID_SOCKET;
    auto connectEx = BoundClient(client);
    ASSERT_NE(connectEx, nullptr);
    char hello[] = "hello";
    DWORD sent = 0;
    EXPECT_FALSE(connectEx(client, reinterpret_cast<sockaddr*>(&address), sizeof address, hello, 5,
                           &sent, nullptr));
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    EXPECT_EQ(service.Requests().size(), 1u);
    closesocket(client);
    ::close(listener);
}

// Threads asking at once all find the lower function loaded (under tsan: the
// provider's slot is filled without a race).
TEST_F(ZulTest, ExtensionFunctionsAskedForByThreadsAtOnceAreLoaded) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<int> loaded{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            SOCKET own = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
            ++ready;
            while (ready < kThreads) {
            }
            auto disconnectEx = Extension<LPFN_DISCONNECTEX>(own, WSAID_DISCONNECTEX);
            // The lower function runs (whatever it answers on a fresh socket).
            if (disconnectEx &&
                (disconnectEx(own, nullptr, 0, 0) || WSAGetLastError() != WSAEFAULT)) {
                ++loaded;
            }
            closesocket(own);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(loaded, kThreads);
    EXPECT_FALSE(Logged("Next proc table DisconnectEx == NULL!"));
}

TEST_F(ZulConnected, TransmitFileSendsTheFileByteIdentical) {
    std::mt19937 random(11);
    std::string contents(200000, '\0');
    for (char& c : contents) {
        c = char(random());
    }
    std::string path = root / "file.bin";
    int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_EQ(::write(file, contents.data(), contents.size()), ssize_t(contents.size()));
    auto transmitFile = Extension<LPFN_TRANSMITFILE>(s, WSAID_TRANSMITFILE);
    ASSERT_NE(transmitFile, nullptr);
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    std::string got;
    std::thread reader([&] { got = qmtest::ReadAll(peer); });
    BOOL started = transmitFile(s, FileHandle(file), 0, 0, &overlapped, nullptr, TF_DISCONNECT);
    EXPECT_EQ(Finish(s, started, overlapped), contents.size());
    reader.join();
    EXPECT_EQ(got, contents);
    WSACloseEvent(overlapped.hEvent);
    ::close(file);
    int handle = int(s);
    closesocket(s);
    s = INVALID_SOCKET;
    EXPECT_TRUE(Logged("Closing socket " + std::to_string(handle) + " Bytes Sent [200000]"));
}

TEST_F(ZulTest, NotificationsReachTheProgramsWindowWithTheLayeredHandle) {
    qmtest::ProgramWindow program;
    SOCKET listening = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_EQ(WSAAsyncSelect(listening, program.window, qmtest::kSocketMessage, 1024),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    ASSERT_EQ(WSAAsyncSelect(listening, program.window, qmtest::kSocketMessage,
                             FD_ACCEPT_W | FD_READ_W | FD_WRITE_W),
              0);
    ASSERT_EQ(ws_listen(listening, 4), 0);
    int client = qmtest::ConnectLoopback(ntohs(address.sin_port));
    ASSERT_TRUE(qmtest::Noted(listening, FD_ACCEPT_W));
    SOCKET accepted = ws_accept(listening, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    // The accepted socket's first events may come before its context exists.
    EXPECT_TRUE(qmtest::Noted(accepted, FD_WRITE_W));
    qmtest::WriteAll(client, "x", 1);
    EXPECT_TRUE(qmtest::Noted(accepted, FD_READ_W));
    closesocket(accepted);
    closesocket(listening);
    ::close(client);
}

} // namespace
