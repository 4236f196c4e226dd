#pragma once
// The socket context table: creating, finding and releasing the SOCK_INFO of a
// layered socket, with its reference count, and releasing it at last when it
// was closed while other calls still used it.

#include "provider/zul_types.h"

namespace zul {

SOCK_INFO* CreateSockInfo(PROVIDER* provider, SOCKET providerSocket, SOCK_INFO* inherit,
                          bool insert, int* lpErrno);
void InsertSocketInfo(PROVIDER* provider, SOCK_INFO* context);
void RemoveSocketInfo(PROVIDER* provider, SOCK_INFO* context);
void FreeSockInfo(SOCK_INFO* context);

// The context of a layered socket with its RefCount raised, or null.
SOCK_INFO* FindAndLockSocketContext(SOCKET s, int* lpErrno);
// The matching release; frees a closing context that nobody uses any more.
void UnlockSocketContext(SOCK_INFO* context, int* lpErrno);
// Claims a context for a close when the caller holds the only reference and
// no overlapped operation is outstanding: from then on it is found no more,
// so no call can take it up while it is freed. Decided under the lock that
// finding takes. A claim given back (a close that failed) makes it found again.
bool ClaimIfUnused(SOCK_INFO* context);
void GiveBackClaim(SOCK_INFO* context);
// Releases the layered socket's handle under the lock that finding takes: a
// call that found the context before is done with it once this returns.
int CloseLayeredHandle(SOCK_INFO* context, int* lpErrno);

// Searched in one provider's list, or in all with provider null.
SOCK_INFO* FindSocketContextByProviderSocket(PROVIDER* provider, SOCKET providerSocket);

// Closes (at once, linger off) and frees every context left in the list.
void CloseAndFreeSocketInfo(PROVIDER* provider);

// Holds a context found by FindAndLockSocketContext until the end of a call.
class LockedContext {
  public:
    LockedContext(SOCKET s, int* lpErrno) : context_(FindAndLockSocketContext(s, lpErrno)) {}
    ~LockedContext() {
        if (context_) {
            int ignored = 0;
            UnlockSocketContext(context_, &ignored);
        }
    }
    LockedContext(const LockedContext&) = delete;
    LockedContext& operator=(const LockedContext&) = delete;
    SOCK_INFO* get() const { return context_; }
    SOCK_INFO* operator->() const { return context_; }
    explicit operator bool() const { return context_ != nullptr; }

  private:
    SOCK_INFO* context_;
};

} // namespace zul
