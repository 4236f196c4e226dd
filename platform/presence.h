#pragma once
// Named endpoints in the abstract local socket namespace. They stand in for a
// window class that other processes look for ("VRA_Class"), for the control
// messages sent to that window, and for a named mutex ("KOVARI_Mutex"). The
// kernel releases an abstract name when the process that bound it dies, so a
// crashed service never leaves a stale name behind.
//
// Names belong to one account: a name is bound as "<name>.<user id>", and
// when another account holds that one, as "<name>.<user id>.1" up to ".3".
// A client talks only to an endpoint whose listener is its own account's, and
// the listening side (PeerIsOwnAccount) refuses clients of other accounts, so
// another account can neither take a name away nor send control messages.

#include "platform/wintypes.h"

#include <string>

namespace platform {

// Binds and listens on the account's abstract name; returns the listening fd
// (close-on-exec, non-blocking) or -1 with errno set (EADDRINUSE when another
// process of the same account holds it).
int ListenOnName(const std::string& name);

// True when the process at the other end of a connected local socket runs as
// this process's account.
bool PeerIsOwnAccount(int fd);

// True when a process of this account listens on the name (the window can be found).
bool IsPresent(const std::string& name);

// Sends one control message line "MESSAGE WPARAM LPARAM\n" to the process that
// listens on the name; false when nobody listens.
bool SendControlMessage(const std::string& name, UINT message, WPARAM wParam, LPARAM lParam);

// Parses one control message line; false when it is not three numbers.
bool ParseControlMessage(const std::string& line, UINT& message, WPARAM& wParam, LPARAM& lParam);

// The named mutex: returns a handle (>= 0) held until the process ends, with
// *lastError ERROR_SUCCESS for the first owner and ERROR_ALREADY_EXISTS when
// another process of the same account holds the name (then the handle is -1).
int CreateNamedMutex(const std::string& name, DWORD* lastError);

} // namespace platform
