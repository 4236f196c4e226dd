#pragma once
// The hidden window that carries network event notifications from the lower
// provider to the program's window.

#include "platform/win/window.h"
#include "provider/zul_types.h"

namespace zul {

// The message the lower provider posts to the hidden window.
constexpr UINT kAsyncMessage = WM_USER + 1;

// The hidden window, created with its thread on first use; null on failure.
HWND GetWorkerWindow();
LRESULT AsyncWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// At clean-up: destroys the window and waits for its thread.
void DestroyWorkerWindow();
// A forked child has no window thread.
void ForgetWorkerWindow();

} // namespace zul
