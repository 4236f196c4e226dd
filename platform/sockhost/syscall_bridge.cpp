// Programs that make a system call by its number through the C library's
// syscall() (Python's ctypes, Perl's syscall) would reach the kernel past
// every bridge. The numbers of the bridged calls are turned into the bridged
// functions, so such a call is routed, decided and guarded as the named call
// is; every other number goes to the C library unchanged.

#include "platform/sockhost/libc_calls.h"

#include <cstdarg>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <type_traits>
#include <unistd.h>

#define QM_BRIDGE extern "C" __attribute__((visibility("default")))

namespace {

template <typename T> T As(long value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(value);
    } else {
        return static_cast<T>(value);
    }
}

} // namespace

// The kernel takes six arguments in registers; all six are read, as the C
// library's syscall() does, whatever the number needs.
QM_BRIDGE long syscall(long number, ...) {
    long a[6];
    va_list list;
    va_start(list, number);
    for (long& argument : a) {
        argument = va_arg(list, long);
    }
    va_end(list);
    switch (number) {
    case SYS_socket:
        return ::socket(As<int>(a[0]), As<int>(a[1]), As<int>(a[2]));
    case SYS_connect:
        return ::connect(As<int>(a[0]), As<const sockaddr*>(a[1]), As<socklen_t>(a[2]));
    case SYS_sendto:
        return ::sendto(As<int>(a[0]), As<const void*>(a[1]), As<size_t>(a[2]), As<int>(a[3]),
                        As<const sockaddr*>(a[4]), As<socklen_t>(a[5]));
    case SYS_sendmsg:
        return ::sendmsg(As<int>(a[0]), As<const msghdr*>(a[1]), As<int>(a[2]));
    case SYS_sendmmsg:
        return ::sendmmsg(As<int>(a[0]), As<mmsghdr*>(a[1]), As<unsigned>(a[2]), As<int>(a[3]));
    case SYS_recvfrom:
        return ::recvfrom(As<int>(a[0]), As<void*>(a[1]), As<size_t>(a[2]), As<int>(a[3]),
                          As<sockaddr*>(a[4]), As<socklen_t*>(a[5]));
    case SYS_recvmsg:
        return ::recvmsg(As<int>(a[0]), As<msghdr*>(a[1]), As<int>(a[2]));
    case SYS_read:
        return ::read(As<int>(a[0]), As<void*>(a[1]), As<size_t>(a[2]));
    case SYS_write:
        return ::write(As<int>(a[0]), As<const void*>(a[1]), As<size_t>(a[2]));
    case SYS_readv:
        return ::readv(As<int>(a[0]), As<const iovec*>(a[1]), As<int>(a[2]));
    case SYS_writev:
        return ::writev(As<int>(a[0]), As<const iovec*>(a[1]), As<int>(a[2]));
    case SYS_accept:
        return ::accept(As<int>(a[0]), As<sockaddr*>(a[1]), As<socklen_t*>(a[2]));
    case SYS_accept4:
        return ::accept4(As<int>(a[0]), As<sockaddr*>(a[1]), As<socklen_t*>(a[2]), As<int>(a[3]));
    case SYS_shutdown:
        return ::shutdown(As<int>(a[0]), As<int>(a[1]));
    case SYS_close:
        return ::close(As<int>(a[0]));
    case SYS_close_range:
        return ::close_range(As<unsigned>(a[0]), As<unsigned>(a[1]), As<int>(a[2]));
    case SYS_dup2:
        return ::dup2(As<int>(a[0]), As<int>(a[1]));
    case SYS_dup3:
        return ::dup3(As<int>(a[0]), As<int>(a[1]), As<int>(a[2]));
    case SYS_execve:
        return ::execve(As<const char*>(a[0]), As<char* const*>(a[1]), As<char* const*>(a[2]));
    case SYS_execveat:
        return ::execveat(As<int>(a[0]), As<const char*>(a[1]), As<char* const*>(a[2]),
                          As<char* const*>(a[3]), As<int>(a[4]));
    default:
        return sockhost::Libc().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
    }
}
