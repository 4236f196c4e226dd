#pragma once
// The host's socket operations shared by the Winsock calls and the preload
// bridge: making a socket through the catalog, finding the provider behind a
// handle, accepting, and closing.

#include "platform/winsock_spi.h"

namespace sockhost {

struct Provider;

// The provider that serves a handle and the socket to hand it.
struct Target {
    Provider* provider = nullptr;
    SOCKET socket = INVALID_SOCKET;
};

// False when the handle is not a live socket of the host.
bool Resolve(SOCKET handle, Target& target);

// A new socket through the first matching catalog entry (or the given entry).
// closeOnExec: whether the program's handle is close-on-exec.
SOCKET CreateSocket(int af, int type, int protocol, const WSAPROTOCOL_INFOW* info, DWORD flags,
                    bool closeOnExec, int* err);

SOCKET Accept(SOCKET handle, sockaddr* addr, int* addrlen, LPCONDITIONPROC condition,
              DWORD_PTR callbackData, bool closeOnExec, int* err);

// Closes through the provider. With force, the program's handle is released
// even when the provider refuses (a POSIX close always releases the number).
int CloseSocket(SOCKET handle, bool force, int* err);

// Waits until the provider has released a handle the program closed.
void AwaitRelease(SOCKET handle);

} // namespace sockhost
