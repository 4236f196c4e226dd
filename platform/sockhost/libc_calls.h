#pragma once
// The C library's own socket and descriptor calls, bound once with
// dlsym(RTLD_NEXT) so that the socket host and the base provider reach the kernel
// past the host's own interposed symbols. Also the per-thread guard: while it is
// set, interposed calls made on this thread go straight to the C library.

#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace sockhost {

struct LibcCalls {
    int (*socket)(int, int, int);
    int (*connect)(int, const sockaddr*, socklen_t);
    ssize_t (*send)(int, const void*, size_t, int);
    ssize_t (*sendto)(int, const void*, size_t, int, const sockaddr*, socklen_t);
    ssize_t (*sendmsg)(int, const msghdr*, int);
    int (*sendmmsg)(int, mmsghdr*, unsigned int, int);
    ssize_t (*recv)(int, void*, size_t, int);
    ssize_t (*recvfrom)(int, void*, size_t, int, sockaddr*, socklen_t*);
    ssize_t (*recvmsg)(int, msghdr*, int);
    ssize_t (*read)(int, void*, size_t);
    ssize_t (*write)(int, const void*, size_t);
    ssize_t (*readv)(int, const iovec*, int);
    ssize_t (*writev)(int, const iovec*, int);
    int (*accept)(int, sockaddr*, socklen_t*);
    int (*accept4)(int, sockaddr*, socklen_t*, int);
    int (*shutdown)(int, int);
    int (*close)(int);
    int (*close_range)(unsigned, unsigned, int);
    int (*dup2)(int, int);
    int (*dup3)(int, int, int);
    ssize_t (*recv_chk)(int, void*, size_t, size_t, int);
    ssize_t (*recvfrom_chk)(int, void*, size_t, size_t, int, sockaddr*, socklen_t*);
    ssize_t (*read_chk)(int, void*, size_t, size_t);
    long (*syscall)(long, ...);
};

// Bound on first use; safe to call from any thread and from other libraries'
// constructors.
const LibcCalls& Libc();

// True while this thread is inside the host's own start-up or a provider's.
bool InHost();

// Sets the guard for its lifetime (nesting allowed).
class HostGuard {
  public:
    HostGuard();
    ~HostGuard();
    HostGuard(const HostGuard&) = delete;
    HostGuard& operator=(const HostGuard&) = delete;

  private:
    bool previous_;
};

} // namespace sockhost
