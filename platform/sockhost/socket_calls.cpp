#include "platform/sockhost/socket_calls.h"

#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/kernel_socket.h"
#include "platform/sockhost/libc_calls.h"
#include "platform/sockhost/providers.h"

#include <ctime>
#include <fcntl.h>

namespace sockhost {
namespace {

// A provider at the top that returned its own socket (a base provider): the
// host makes the program's handle, a duplicate with the program's close-on-exec.
SOCKET Adopt(Provider* provider, SOCKET own, bool closeOnExec, int* err) {
    if (HandlePending(own)) {
        return own; // made through WPUCreateSocketHandle
    }
    int handle = HandleFor(int(own), closeOnExec);
    if (handle < 0 || !SetHandle(SOCKET(handle), HandleEntry{provider, own, true})) {
        if (handle >= 0 && handle != AdoptionTarget()) {
            Libc().close(handle);
        }
        int ignored = 0;
        provider->procs.lpWSPCloseSocket(own, &ignored);
        *err = WSAEMFILE;
        return INVALID_SOCKET;
    }
    return SOCKET(handle);
}

} // namespace

bool Resolve(SOCKET handle, Target& target) {
    HandleEntry entry;
    if (!LookupHandle(handle, entry)) {
        return false;
    }
    target.provider = entry.provider;
    target.socket = entry.hostMade ? SOCKET(entry.context) : handle;
    return true;
}

SOCKET CreateSocket(int af, int type, int protocol, const WSAPROTOCOL_INFOW* info, DWORD flags,
                    bool closeOnExec, int* err) {
    WSAPROTOCOL_INFOW entry{};
    if (info ? !FindEntry(info->dwCatalogEntryId, entry)
             : !ChooseEntry(af, type, protocol, entry)) {
        *err = info ? WSAEINVALIDPROVIDER : WSAESOCKTNOSUPPORT;
        return INVALID_SOCKET;
    }
    Provider* provider = StartedProvider(entry, err);
    if (!provider) {
        return INVALID_SOCKET;
    }
    CreationScope scope(closeOnExec);
    ClearNotes();
    SOCKET own = provider->procs.lpWSPSocket(af, type, protocol, &entry, 0, flags, err);
    if (own == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    return Adopt(provider, own, closeOnExec, err);
}

SOCKET Accept(SOCKET handle, sockaddr* addr, int* addrlen, LPCONDITIONPROC condition,
              DWORD_PTR callbackData, bool closeOnExec, int* err) {
    Target target;
    if (!Resolve(handle, target)) {
        *err = WSAENOTSOCK;
        return INVALID_SOCKET;
    }
    CreationScope scope(closeOnExec);
    ClearNotes();
    SOCKET own = target.provider->procs.lpWSPAccept(target.socket, addr, addrlen, condition,
                                                    callbackData, err);
    if (own == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    return Adopt(target.provider, own, closeOnExec, err);
}

int CloseSocket(SOCKET handle, bool force, int* err) {
    HandleEntry entry;
    if (!LookupHandle(handle, entry)) {
        *err = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    // Marked first: from here the program's calls no longer reach the socket,
    // and the provider's release (now or when its last call returns) clears it.
    MarkClosedByProgram(handle);
    if (entry.hostMade) {
        int result = entry.provider->procs.lpWSPCloseSocket(SOCKET(entry.context), err);
        if (result != 0 && !force) {
            UnmarkClosedByProgram(handle);
            return result;
        }
        ClearHandle(handle);
        Libc().close(int(handle));
        return result;
    }
    int result = entry.provider->procs.lpWSPCloseSocket(handle, err);
    if (result != 0 && HandlePending(handle)) {
        if (!force) {
            UnmarkClosedByProgram(handle);
            return result;
        }
        ClearHandle(handle);
        Libc().close(int(handle));
    }
    return result;
}

void AwaitRelease(SOCKET handle) {
    // The provider's last call on the socket ends soon: its close shut the
    // socket down, which wakes a blocked receive.
    const timespec pause{0, 200000};
    while (HandlePending(handle)) {
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace sockhost
