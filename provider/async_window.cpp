// The hidden window on a thread of its own that receives the lower provider's
// network event notifications and posts them to the program's window with the
// layered handle.

#include "provider/async_window.h"
#include "platform/win/event.h"
#include "platform/win/thread.h"
#include "platform/win/window.h"
#include "provider/lsp_log.h"
#include "provider/sock_info.h"
#include "provider/zul_state.h"

#include <atomic>
#include <sched.h>

namespace zul {
namespace {

constexpr const char* kClassName = "Layered WS2 Provider";
constexpr int kLookups = 9;
constexpr DWORD kContextWait = 500;

std::atomic<HWND> gWorkerWindow{nullptr};
std::atomic<bool> gWindowStarted{false}; // the thread created its window or failed to
std::atomic<bool> gStopping{false};
HANDLE gWindowThread = nullptr;

struct Target {
    HWND window;
    UINT message;
    SOCKET layered;
};

// The program's window, message and handle for a provider socket, read under
// the provider's lock (a context leaves its list before it is freed). The
// context's own lock is not taken: it comes before the provider's. A context
// whose layered handle is not made yet has not appeared.
bool FindTarget(SOCKET providerSocket, Target& target) {
    ZulState& state = State();
    for (int i = 0; i < state.gLayerCount; ++i) {
        PROVIDER& provider = state.gBaseInfo[i];
        std::lock_guard lock(provider.ProviderCritSec);
        for (SOCK_INFO* context = provider.SocketList; context; context = context->next) {
            if (context->ProviderSocket == providerSocket) {
                target = Target{context->hWnd, context->uMsg, context->LayeredSocket};
                return target.layered != INVALID_SOCKET;
            }
        }
    }
    return false;
}

// A socket accepted by the lower provider can report events before its context
// is inserted: wait for new contexts, up to 8 times 500 ms.
LRESULT Notify(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SOCKET providerSocket = SOCKET(wParam);
    for (int lookup = 1;; ++lookup) {
        Target target{};
        if (FindTarget(providerSocket, target)) {
            State().MainUpcallTable.lpWPUPostMessage(target.window, target.message,
                                                     WPARAM(target.layered), lParam);
            return 0;
        }
        DebugMessage("Unable to find socket context for 0x" LOG_HANDLE_FORMAT,
                     std::uintptr_t(wParam));
        if (lookup == kLookups || gStopping) {
            DebugMessage("AsyncWndProc: Maximum retries exceeded waiting for socket context");
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);
        }
        HANDLE added = State().gAddContextEvent;
        DWORD result = WaitForSingleObject(added, kContextWait);
        if (result == WAIT_FAILED) {
            DebugMessage("AsyncWndProc: WaitForSingleObject failed: %d", int(GetLastError()));
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);
        }
        if (result == WAIT_OBJECT_0) {
            ResetEvent(added);
        }
    }
}

DWORD AsyncMsgHandle(void*) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = AsyncWndProc;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) {
        DebugMessage("AsyncMsgHandle: RegisterClass failed: %d", int(GetLastError()));
        gWindowStarted = true;
        return 0;
    }
    HWND window = CreateWindowA(kClassName, "Layered Hidden Window", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, nullptr, nullptr);
    if (!window) {
        DebugMessage("AsyncMessageHandler: CreateWindow failed");
    }
    gWorkerWindow = window;
    gWindowStarted = true;
    MSG message;
    BOOL got;
    while (window && (got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            DebugMessage("AsyncMessageHandler: GetMessage returned -1, exiting loop");
            break;
        }
        DispatchMessageA(&message);
    }
    // A later start-up of the provider registers the class afresh.
    UnregisterClassA(kClassName, nullptr);
    return 0;
}

} // namespace

LRESULT AsyncWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kAsyncMessage) {
        return Notify(hWnd, uMsg, wParam, lParam);
    }
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

HWND GetWorkerWindow() {
    std::lock_guard lock(CriticalSection());
    if (!gWindowThread) {
        gStopping = false;
        gWindowStarted = false;
        gWindowThread = CreateThread(nullptr, 0, AsyncMsgHandle, nullptr, 0, nullptr);
        if (!gWindowThread) {
            DebugMessage("GetWorkerWindow: CreateThread failed");
            return nullptr;
        }
    }
    while (!gWindowStarted) {
        ::sched_yield();
    }
    return gWorkerWindow;
}

void DestroyWorkerWindow() {
    if (!gWindowThread) {
        return;
    }
    gStopping = true;
    HWND window = gWorkerWindow.exchange(nullptr);
    if (window) {
        DestroyWindow(window);
    }
    // The thread's last notification gives up at once; it ends soon after.
    WaitForSingleObject(gWindowThread, INFINITE);
    CloseHandle(gWindowThread);
    gWindowThread = nullptr;
}

void ForgetWorkerWindow() {
    gWindowThread = nullptr;
    gWorkerWindow = nullptr;
    gWindowStarted = false;
}

} // namespace zul
