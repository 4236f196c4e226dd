#pragma once
// Named endpoints in the abstract local socket namespace. They stand in for a
// window class that other processes look for ("VRA_Class"), for the control
// messages sent to that window, and for a named mutex ("KOVARI_Mutex"). The
// kernel releases an abstract name when the process that bound it dies, so a
// crashed service never leaves a stale name behind.

#include "platform/wintypes.h"

#include <string>

namespace platform {

// Binds and listens on the abstract name; returns the listening fd (close-on-exec,
// non-blocking) or -1 with errno set (EADDRINUSE when another process holds it).
int ListenOnName(const std::string& name);

// True when some process listens on the name (the window can be found).
bool IsPresent(const std::string& name);

// Sends one control message line "MESSAGE WPARAM LPARAM\n" to the process that
// listens on the name; false when nobody listens.
bool SendControlMessage(const std::string& name, UINT message, WPARAM wParam, LPARAM lParam);

// Parses one control message line; false when it is not three numbers.
bool ParseControlMessage(const std::string& line, UINT& message, WPARAM& wParam, LPARAM& lParam);

// The named mutex: returns a handle (>= 0) held until the process ends, with
// *lastError ERROR_SUCCESS for the first owner and ERROR_ALREADY_EXISTS when
// another process holds the name (then the handle is -1).
int CreateNamedMutex(const std::string& name, DWORD* lastError);

} // namespace platform
