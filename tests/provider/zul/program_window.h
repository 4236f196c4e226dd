#pragma once
// A program's window on a thread of its own that notes the socket events
// posted to it (socket and event of each message kSocketMessage).

#include "platform/sockhost/winsock_api.h"
#include "platform/win/thread.h"
#include "platform/win/wait.h"
#include "platform/win/window.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace qmtest {

inline constexpr UINT kSocketMessage = WM_USER + 7;
inline std::mutex gNotesMutex;
inline std::vector<std::pair<SOCKET, long>> gNotes;

inline LRESULT NotingProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSocketMessage) {
        std::lock_guard lock(gNotesMutex);
        gNotes.emplace_back(SOCKET(wParam), long(lParam & 0xffff));
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Whether the window got the event for the socket, looking up to tries times.
inline bool Noted(SOCKET s, long event, int tries = 600) {
    for (int i = 0; i < tries; ++i) {
        {
            std::lock_guard lock(gNotesMutex);
            for (auto& note : gNotes) {
                if (note.first == s && note.second == event) {
                    return true;
                }
            }
        }
        if (i + 1 < tries) {
            SleepEx(10, FALSE);
        }
    }
    return false;
}

struct ProgramWindow {
    std::atomic<HWND> window{nullptr};
    HANDLE thread = nullptr;
    static DWORD Loop(void* parameter) {
        auto* self = static_cast<ProgramWindow*>(parameter);
        self->window =
            CreateWindowA("Program Window", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        return 0;
    }
    ProgramWindow() {
        gNotes.clear();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = NotingProcedure;
        windowClass.lpszClassName = "Program Window";
        RegisterClassA(&windowClass);
        thread = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
        while (!window) {
            SleepEx(1, FALSE);
        }
    }
    ~ProgramWindow() {
        DestroyWindow(window);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        UnregisterClassA("Program Window", nullptr);
    }
};

} // namespace qmtest
