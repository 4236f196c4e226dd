// Window classes, windows owned by a thread, and that thread's message queue.

#include "platform/win/thread.h"
#include "platform/win/wait.h"
#include "platform/win/window.h"

#include <atomic>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr UINT kNotify = WM_USER + 1;

struct Seen {
    std::vector<UINT> messages;
    std::vector<WPARAM> words;
    DWORD thread = 0;
};
Seen gSeen;

LRESULT Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    gSeen.thread = GetCurrentThreadId();
    gSeen.messages.push_back(message);
    if (message == kNotify) {
        gSeen.words.push_back(wParam);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// A thread that owns one window of the class and runs its message loop.
struct WindowThread {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> ready{false};
    std::atomic<int> exitCode{-1};
    HANDLE handle = nullptr;

    static DWORD Run(void* parameter) {
        auto* self = static_cast<WindowThread*>(parameter);
        self->window = CreateWindowA("Test Hidden Class", "Hidden", WS_OVERLAPPEDWINDOW,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     nullptr, nullptr, nullptr, nullptr);
        self->ready = true;
        MSG message;
        BOOL got;
        while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
            DispatchMessageA(&message);
        }
        self->exitCode = got == 0 ? int(message.wParam) : -2;
        return 0;
    }
    void Start() {
        handle = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        while (!ready) {
            SleepEx(1, FALSE);
        }
    }
    ~WindowThread() {
        if (handle) {
            WaitForSingleObject(handle, INFINITE);
            CloseHandle(handle);
        }
    }
};

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        gSeen = Seen{};
        WNDCLASSA windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = Procedure;
        windowClass.lpszClassName = "Test Hidden Class";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    void TearDown() override { EXPECT_TRUE(UnregisterClassA("Test Hidden Class", nullptr)); }
};

TEST_F(Windows, ClassNamesAreUniqueIgnoringCase) {
    WNDCLASSA again{};
    again.lpfnWndProc = Procedure;
    again.lpszClassName = "TEST HIDDEN CLASS";
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(CreateWindowA("No Such Class", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Windows, PostedMessagesRunOnTheOwnersThreadInOrder) {
    WindowThread owner;
    owner.Start();
    ASSERT_NE(owner.window.load(), nullptr);
    ASSERT_TRUE(IsWindow(owner.window));
    for (WPARAM i = 1; i <= 3; ++i) {
        ASSERT_TRUE(PostMessageA(owner.window, kNotify, i, 0));
    }
    ASSERT_TRUE(DestroyWindow(owner.window)); // from another thread: queued behind
    EXPECT_FALSE(IsWindow(owner.window));
    EXPECT_FALSE(PostMessageA(owner.window, kNotify, 9, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    WaitForSingleObject(owner.handle, INFINITE);
    EXPECT_EQ(owner.exitCode, 7);
    EXPECT_EQ(gSeen.words, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(gSeen.messages.back(), WM_DESTROY);
    EXPECT_NE(gSeen.thread, GetCurrentThreadId());
}

TEST_F(Windows, CloseThroughTheDefaultProcedureDestroysOnTheOwner) {
    WindowThread owner;
    owner.Start();
    ASSERT_TRUE(PostMessageA(owner.window, WM_CLOSE, 0, 0));
    WaitForSingleObject(owner.handle, INFINITE);
    EXPECT_EQ(owner.exitCode, 7);
    EXPECT_FALSE(IsWindow(owner.window));
    EXPECT_EQ(gSeen.messages, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(Windows, ClassWithWindowsCannotBeUnregistered) {
    HWND window =
        CreateWindowA("Test Hidden Class", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("Test Hidden Class", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_HAS_WINDOWS));
    ASSERT_TRUE(DestroyWindow(window)); // on the owner: the procedure runs at once
    EXPECT_EQ(gSeen.messages, (std::vector<UINT>{WM_DESTROY}));
    MSG quit;
    EXPECT_EQ(GetMessageA(&quit, nullptr, 0, 0), 0);
    EXPECT_EQ(quit.wParam, WPARAM(7));
}

} // namespace
