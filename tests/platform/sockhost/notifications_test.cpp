// Window notifications of the base provider through the socket host: the
// events reach the window's thread naming the program's handle, once until
// re-enabled, and an accepted socket takes its listening socket's events.

#include "platform/win/thread.h"
#include "platform/win/wait.h"
#include "platform/win/window.h"
#include "tests/platform/sockhost/host_fixture.h"
#include "tests/platform/sockhost/loopback.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace {

constexpr UINT kSocketMessage = WM_USER + 5;

struct Note {
    SOCKET socket;
    long event;
    int error;
};

std::mutex gMutex;
std::vector<Note> gNotes;

LRESULT Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSocketMessage) {
        std::lock_guard lock(gMutex);
        gNotes.push_back(Note{SOCKET(wParam), long(lParam & 0xffff), int(lParam >> 16)});
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// A hidden window with its message loop on a thread of its own.
class Notifications : public qmtest::SocketHostTest {
  protected:
    std::atomic<HWND> window{nullptr};
    HANDLE thread = nullptr;

    static DWORD Loop(void* parameter) {
        auto* self = static_cast<Notifications*>(parameter);
        self->window = CreateWindowA("Notification Test", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     nullptr, nullptr);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        return 0;
    }

    void SetUp() override {
        SocketHostTest::SetUp();
        gNotes.clear();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.lpszClassName = "Notification Test";
        RegisterClassA(&windowClass);
        thread = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
        while (!window) {
            SleepEx(1, FALSE);
        }
    }
    void TearDown() override {
        DestroyWindow(window);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        UnregisterClassA("Notification Test", nullptr);
        SocketHostTest::TearDown();
    }

    // Waits up to five seconds for a note of the event on the socket.
    static bool Noted(SOCKET s, long event, int* error = nullptr) {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard lock(gMutex);
                for (const Note& note : gNotes) {
                    if (note.socket == s && note.event == event) {
                        if (error) {
                            *error = note.error;
                        }
                        return true;
                    }
                }
            }
            SleepEx(10, FALSE);
        }
        return false;
    }
    static int Count(SOCKET s, long event) {
        std::lock_guard lock(gMutex);
        int count = 0;
        for (const Note& note : gNotes) {
            count += note.socket == s && note.event == event;
        }
        return count;
    }
};

TEST_F(Notifications, ReadWriteAndCloseNameTheProgramsHandle) {
    unsigned short port = 0;
    int listener = qmtest::ListenLoopback(port);
    int fd = qmtest::ConnectLoopback(port);
    int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_TRUE(IsHostSocket(fd));
    SOCKET s = SOCKET(fd);
    ASSERT_EQ(WSAAsyncSelect(s, window, kSocketMessage, FD_READ_W | FD_WRITE_W | FD_CLOSE_W), 0);
    EXPECT_TRUE(Noted(s, FD_WRITE_W));
    qmtest::WriteAll(peer, "data", 4);
    ASSERT_TRUE(Noted(s, FD_READ_W));
    qmtest::WriteAll(peer, "more", 4);
    SleepEx(50, FALSE);
    EXPECT_EQ(Count(s, FD_READ_W), 1); // not re-enabled yet
    char buffer[4];
    EXPECT_EQ(::recv(fd, buffer, 4, 0), 4);
    for (int i = 0; i < 500 && Count(s, FD_READ_W) < 2; ++i) {
        SleepEx(10, FALSE);
    }
    EXPECT_EQ(Count(s, FD_READ_W), 2); // re-enabled by the receive, data still waiting
    EXPECT_EQ(::recv(fd, buffer, 4, 0), 4);
    ::close(peer);
    int error = -1;
    EXPECT_TRUE(Noted(s, FD_CLOSE_W, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(WSAAsyncSelect(s, window, kSocketMessage, 1024), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    ::close(fd);
    ::close(listener);
}

TEST_F(Notifications, AcceptedSocketTakesTheListeningSocketsEvents) {
    SOCKET listening = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, 0);
    sockaddr_in address = qmtest::LoopbackAddress(0);
    int length = sizeof address;
    ASSERT_EQ(ws_bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(ws_getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_EQ(WSAAsyncSelect(listening, window, kSocketMessage, FD_ACCEPT_W | FD_READ_W), 0);
    ASSERT_EQ(ws_listen(listening, 4), 0);
    int client = qmtest::ConnectLoopback(ntohs(address.sin_port));
    ASSERT_TRUE(Noted(listening, FD_ACCEPT_W));
    SOCKET accepted = ws_accept(listening, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    qmtest::WriteAll(client, "x", 1);
    EXPECT_TRUE(Noted(accepted, FD_READ_W));
    closesocket(accepted);
    closesocket(listening);
    ::close(client);
}

} // namespace
