#pragma once
// The socket host's table of handles: for each socket descriptor that a program
// holds and that the host made, the provider that serves it and that provider's
// context. Indexed by the descriptor number; lookups take no lock, so every
// read and write of a program pays one load to learn whether the descriptor is
// a socket of the host.

#include "platform/winsock_spi.h"

#include <cstddef>

namespace sockhost {

struct Provider;

struct HandleEntry {
    Provider* provider = nullptr;
    // The provider's context (WPUCreateSocketHandle), or the provider's own
    // socket when the host made the handle for a base provider at the top.
    DWORD_PTR context = 0;
    bool hostMade = false;
};

// False when the descriptor is not a live handle of the host (never made, or
// already closed by the program).
bool LookupHandle(SOCKET handle, HandleEntry& entry);

// The same for a provider's own lookups: a handle closed by the program is
// still found until the provider releases it.
bool LookupHandleForProvider(SOCKET handle, HandleEntry& entry);

// The live handle the host made for a base provider's own socket, or
// INVALID_SOCKET (a scan of the table: for notifications, not for data calls).
SOCKET HostHandleOf(SOCKET own);

// One past the highest number ever recorded.
std::size_t HandleHighWater();

// Records a handle; false when its number is beyond the table.
bool SetHandle(SOCKET handle, const HandleEntry& entry);

// Clears the entry; true when there was one. Done before the number is released.
bool ClearHandle(SOCKET handle);

// Marks the handle closed by the program while a provider still holds it; later
// lookups fail, and the provider's release clears the entry.
void MarkClosedByProgram(SOCKET handle);

// Undoes MarkClosedByProgram (the provider refused the close).
void UnmarkClosedByProgram(SOCKET handle);

// True while an entry exists for the number (live or closed by the program).
bool HandlePending(SOCKET handle);

// Forgets every entry without closing anything (a forked child starts afresh
// with its providers). The numbers that were live handles are remembered as
// inherited, so that the child can make them its own at their first use.
void ForgetAllHandles();

// The number was a live handle of the parent and has not been taken since.
bool Inherited(SOCKET handle);
// Clears the mark; true for the one caller that found it set.
bool TakeInherited(SOCKET handle);

} // namespace sockhost
