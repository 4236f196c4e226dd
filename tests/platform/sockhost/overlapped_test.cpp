// Overlapped calls of the base provider through the socket host: completion
// routines run as APCs on the issuing thread in its alertable wait, events and
// WSAGetOverlappedResult, aborts on close, control codes.

#include "platform/win/wait.h"
#include "tests/platform/sockhost/host_fixture.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/platform/sockhost/overlapped_support.h"

#include <atomic>
#include <thread>

namespace {

using qmtest::SocketHostTest;

// A host socket made through the socket layer, connected to a plain peer.
using Connected = qmtest::ConnectedTo<SocketHostTest>;
using qmtest::AwaitRoutine;
using qmtest::gCompletion;
using qmtest::Routine;

TEST_F(Connected, ReceiveRoutineRunsOnTheCallingThreadInItsAlertableWait) {
    char buffer[16] = {};
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, Routine), SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    std::thread([this] { qmtest::WriteAll(peer, "hello", 5); }).join();
    EXPECT_EQ(SleepEx(20, FALSE), 0u); // not alertable: nothing runs
    EXPECT_EQ(gCompletion.calls, 0);
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.calls, 1);
    EXPECT_EQ(gCompletion.error, 0u);
    EXPECT_EQ(gCompletion.bytes, 5u);
    EXPECT_EQ(gCompletion.flags, 0u);
    EXPECT_EQ(gCompletion.thread, platform::win::CurrentThreadId());
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST_F(Connected, ResultWithoutWaitIsIncompleteThenCompleteWithEvent) {
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
    EXPECT_EQ(WSAWaitForMultipleEvents(1, &overlapped.hEvent, TRUE, 5000, FALSE), WAIT_OBJECT_0);
    EXPECT_TRUE(WSAGetOverlappedResult(s, &overlapped, &transferred, TRUE, &flags));
    EXPECT_EQ(transferred, 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    WSACloseEvent(overlapped.hEvent);
}

TEST_F(Connected, SendThatCompletesAtOnceStillDeliversItsCompletion) {
    char text[] = "sent at once";
    WSABUF out{12, text};
    DWORD sent = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSASend(s, &out, 1, &sent, 0, &overlapped, Routine), 0);
    EXPECT_EQ(sent, 12u);
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.bytes, 12u);
    char buffer[16] = {};
    EXPECT_EQ(::recv(peer, buffer, 12, MSG_WAITALL), 12);
}

TEST_F(Connected, LargeSendCompletesWhenEveryByteHasGone) {
    std::string data(8 << 20, 'x');
    WSABUF out{std::uint32_t(data.size()), data.data()};
    DWORD sent = 0;
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    int result = WSASend(s, &out, 1, &sent, 0, &overlapped, nullptr);
    ASSERT_TRUE(result == 0 || WSAGetLastError() == WSA_IO_PENDING);
    std::string got;
    std::thread reader([&] {
        char buffer[65536];
        while (got.size() < data.size()) {
            ssize_t n = ::read(peer, buffer, sizeof buffer);
            if (n <= 0) {
                return;
            }
            got.append(buffer, std::size_t(n));
        }
    });
    DWORD transferred = 0;
    DWORD flags = 0;
    EXPECT_TRUE(WSAGetOverlappedResult(s, &overlapped, &transferred, TRUE, &flags));
    reader.join();
    EXPECT_EQ(transferred, data.size());
    EXPECT_EQ(got, data);
    WSACloseEvent(overlapped.hEvent);
}

TEST_F(Connected, CloseAbortsPendingReceive) {
    char buffer[16];
    WSABUF in{sizeof buffer, buffer};
    DWORD received = 0;
    DWORD flags = 0;
    WSAOVERLAPPED overlapped{};
    ASSERT_EQ(WSARecv(s, &in, 1, &received, &flags, &overlapped, Routine), SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    ASSERT_EQ(closesocket(s), 0);
    s = INVALID_SOCKET;
    ASSERT_TRUE(AwaitRoutine());
    EXPECT_EQ(gCompletion.error, DWORD(WSA_OPERATION_ABORTED));
    EXPECT_EQ(gCompletion.calls, 1);
}

TEST_F(Connected, ReceivesCompleteInTheOrderIssued) {
    char first[4] = {};
    char second[4] = {};
    WSABUF in[2] = {{3, first}, {3, second}};
    WSAOVERLAPPED records[2] = {};
    DWORD received = 0;
    DWORD flags = 0;
    for (int i = 0; i < 2; ++i) {
        records[i].hEvent = WSACreateEvent();
        ASSERT_EQ(WSARecv(s, &in[i], 1, &received, &flags, &records[i], nullptr), SOCKET_ERROR);
    }
    qmtest::WriteAll(peer, "onetwo", 6);
    DWORD transferred = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(WSAGetOverlappedResult(s, &records[i], &transferred, TRUE, &flags));
        EXPECT_EQ(transferred, 3u);
        WSACloseEvent(records[i].hEvent);
    }
    EXPECT_EQ(std::string(first) + second, "onetwo");
}

TEST_F(Connected, OverlappedControlCodeCompletesAtOnce) {
    qmtest::WriteAll(peer, "1234", 4);
    std::uint32_t available = 0;
    for (int i = 0; i < 100 && available < 4; ++i) {
        ASSERT_EQ(ioctlsocket(s, long(FIONREAD_W), &available), 0);
        SleepEx(5, FALSE);
    }
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    DWORD returned = 0;
    ASSERT_EQ(WSAIoctl(s, FIONREAD_W, nullptr, 0, &available, sizeof available, &returned,
                       &overlapped, nullptr),
              0);
    EXPECT_EQ(available, 4u);
    EXPECT_EQ(WSAWaitForMultipleEvents(1, &overlapped.hEvent, TRUE, 0, FALSE), WAIT_OBJECT_0);
    WSACloseEvent(overlapped.hEvent);
}

} // namespace
