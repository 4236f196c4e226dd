#pragma once
// Window classes, hidden windows and per-thread message queues inside one
// process. A window belongs to the thread that created it: messages posted to it
// queue on that thread, whose GetMessage/DispatchMessage loop hands them to the
// class's window procedure. Windows are never shown; no creation or paint
// messages are sent.

#include "platform/wintypes.h"

using ATOM = WORD;
using HINSTANCE = void*;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using HMENU = void*;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr int CW_USEDEFAULT = int(0x80000000);

// 0 when the class exists already (ERROR_CLASS_ALREADY_EXISTS) or has no name
// or procedure.
ATOM RegisterClassA(const WNDCLASSA* lpWndClass);
// Fails while windows of the class exist (ERROR_CLASS_HAS_WINDOWS).
BOOL UnregisterClassA(const char* lpClassName, HINSTANCE hInstance);

// A window of a registered class owned by the calling thread, or null
// (ERROR_CANNOT_FIND_WND_CLASS).
HWND CreateWindowA(const char* lpClassName, const char* lpWindowName, DWORD dwStyle, int x, int y,
                   int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                   void* lpParam);
// On the owning thread the procedure gets WM_DESTROY at once; from another thread
// the window stops taking messages and WM_DESTROY is queued to its owner behind
// the messages already queued.
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);

// Queues a message to the window's thread; a null window posts to the calling
// thread. FALSE (ERROR_INVALID_WINDOW_HANDLE) for a window that does not exist.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int nExitCode);
// Waits for the next message of the calling thread (for hWnd, or any when null,
// within the range unless both bounds are 0): 1, 0 for WM_QUIT, -1 on failure.
BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
LRESULT DispatchMessageA(const MSG* lpMsg);
// WM_CLOSE destroys the window; everything else is answered with 0.
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
