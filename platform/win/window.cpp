#include "platform/win/window.h"

#include "platform/win/kernel.h"
#include "platform/win/wait.h"

#include <map>
#include <string>
#include <strings.h>

namespace platform::win {
namespace {

struct Window {
    std::string className;
    WNDPROC procedure;
    DWORD owner;
    bool destroyed = false; // WM_DESTROY queued to the owner, nothing more taken
};

struct ClassEntry {
    WNDPROC procedure;
    ATOM atom;
};

// Case-insensitive names, as the system compares class names.
struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return ::strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

// All under KernelLock. Window handles are numbers never reused, so a stale
// handle is simply not found. The tables are never destroyed: a thread that
// ends while the process exits still forgets its windows and classes in them.
auto& gClasses = *new std::map<std::string, ClassEntry, NoCase>;
auto& gWindows = *new std::map<std::uintptr_t, Window>;
std::uintptr_t gNextWindow = 1;
ATOM gNextAtom = 0xC000;

std::uintptr_t Key(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

Window* Live(HWND hWnd) {
    auto found = gWindows.find(Key(hWnd));
    return found == gWindows.end() || found->second.destroyed ? nullptr : &found->second;
}

void Post(ThreadState& thread, const MSG& message) {
    thread.messages.push_back(message);
    thread.wake.notify_one();
}

bool Matches(const MSG& message, HWND hWnd, UINT low, UINT high) {
    if (message.message == WM_QUIT) {
        return true;
    }
    if (hWnd && message.hwnd != hWnd) {
        return false;
    }
    return (low == 0 && high == 0) || (message.message >= low && message.message <= high);
}

bool HasWindowsOf(const std::string& className) {
    for (const auto& [key, window] : gWindows) {
        if (::strcasecmp(window.className.c_str(), className.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

void ForgetWindowsOf(DWORD threadId) {
    std::erase_if(gWindows,
                  [threadId](const auto& entry) { return entry.second.owner == threadId; });
}

} // namespace platform::win

using namespace platform::win;

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(KernelLock());
    if (gClasses.count(lpWndClass->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    ATOM atom = gNextAtom++;
    gClasses[lpWndClass->lpszClassName] = ClassEntry{lpWndClass->lpfnWndProc, atom};
    return atom;
}

BOOL UnregisterClassA(const char* lpClassName, HINSTANCE hInstance) {
    (void)hInstance;
    std::lock_guard lock(KernelLock());
    auto found = lpClassName ? gClasses.find(lpClassName) : gClasses.end();
    if (found == gClasses.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    if (HasWindowsOf(found->first)) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    gClasses.erase(found);
    return TRUE;
}

HWND CreateWindowA(const char* lpClassName, const char* lpWindowName, DWORD dwStyle, int x, int y,
                   int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                   void* lpParam) {
    (void)lpWindowName, (void)dwStyle, (void)x, (void)y, (void)nWidth, (void)nHeight;
    (void)hWndParent, (void)hMenu, (void)hInstance, (void)lpParam;
    DWORD owner = CurrentThreadId();
    std::lock_guard lock(KernelLock());
    auto found = lpClassName ? gClasses.find(lpClassName) : gClasses.end();
    if (found == gClasses.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    std::uintptr_t key = gNextWindow++;
    gWindows[key] = Window{found->first, found->second.procedure, owner};
    return reinterpret_cast<HWND>(key);
}

BOOL DestroyWindow(HWND hWnd) {
    DWORD self = CurrentThreadId();
    std::unique_lock lock(KernelLock());
    Window* window = Live(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->destroyed = true;
    if (window->owner != self) {
        ThreadState* owner = FindThread(window->owner);
        if (owner) {
            Post(*owner, MSG{hWnd, WM_DESTROY, 0, 0});
        } else {
            gWindows.erase(Key(hWnd));
        }
        return TRUE;
    }
    WNDPROC procedure = window->procedure;
    lock.unlock();
    procedure(hWnd, WM_DESTROY, 0, 0);
    lock.lock();
    gWindows.erase(Key(hWnd));
    return TRUE;
}

BOOL IsWindow(HWND hWnd) {
    std::lock_guard lock(KernelLock());
    return Live(hWnd) ? TRUE : FALSE;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadState& self = CurrentThread();
    std::lock_guard lock(KernelLock());
    ThreadState* target = &self;
    if (hWnd) {
        Window* window = Live(hWnd);
        target = window ? FindThread(window->owner) : nullptr;
    }
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Post(*target, MSG{hWnd, Msg, wParam, lParam});
    return TRUE;
}

void PostQuitMessage(int nExitCode) {
    ThreadState& self = CurrentThread();
    std::lock_guard lock(KernelLock());
    Post(self, MSG{nullptr, WM_QUIT, WPARAM(nExitCode), 0});
}

BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    ThreadState& self = CurrentThread();
    std::unique_lock lock(KernelLock());
    for (;;) {
        if (!lpMsg || (hWnd && !gWindows.count(Key(hWnd)))) {
            SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
            return -1;
        }
        for (auto it = self.messages.begin(); it != self.messages.end(); ++it) {
            if (Matches(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) {
                *lpMsg = *it;
                self.messages.erase(it);
                return lpMsg->message == WM_QUIT ? 0 : 1;
            }
        }
        self.wake.wait(lock);
    }
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg || !lpMsg->hwnd) {
        return 0;
    }
    std::unique_lock lock(KernelLock());
    auto found = gWindows.find(Key(lpMsg->hwnd));
    if (found == gWindows.end()) {
        return 0;
    }
    // A window destroyed from another thread still gets what was queued before
    // its WM_DESTROY, which is its last message.
    bool finalMessage = found->second.destroyed && lpMsg->message == WM_DESTROY;
    WNDPROC procedure = found->second.procedure;
    lock.unlock();
    LRESULT result = procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    if (finalMessage) {
        lock.lock();
        gWindows.erase(Key(lpMsg->hwnd));
    }
    return result;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (Msg == WM_CLOSE) {
        DestroyWindow(hWnd);
    }
    return 0;
}
