#include "platform/sockhost/offline_start.h"

#include "platform/sockhost/libc_calls.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sockhost {
namespace {

bool WriteFile(const char* path, const char* text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::size_t length = std::strlen(text);
    bool written = Libc().write(fd, text, length) == ssize_t(length);
    Libc().close(fd);
    return written;
}

// "ID ID 1\n": the id maps to itself.
bool MapToItself(const char* path, unsigned id) {
    char line[40];
    char* end = std::to_chars(line, line + 12, id).ptr;
    *end++ = ' ';
    end = std::to_chars(end, end + 12, id).ptr;
    constexpr std::string_view kOne = " 1\n";
    *std::copy(kOne.begin(), kOne.end(), end) = '\0';
    return WriteFile(path, line);
}

// Loopback is down in a new network namespace; a program's own local
// connections need it up.
void LoopbackUp() {
    int fd = Libc().socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, "lo", sizeof "lo");
    if (::ioctl(fd, SIOCGIFFLAGS, &request) == 0) {
        request.ifr_flags = short(request.ifr_flags | IFF_UP);
        ::ioctl(fd, SIOCSIFFLAGS, &request);
    }
    Libc().close(fd);
}

} // namespace

bool LeaveTheNetwork() {
    uid_t user = ::geteuid();
    gid_t group = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        return false;
    }
    // The new namespaces are this process's own; if the maps cannot be
    // written it still has no network, and the program starts as nobody.
    WriteFile("/proc/self/setgroups", "deny");
    MapToItself("/proc/self/uid_map", user);
    MapToItself("/proc/self/gid_map", group);
    LoopbackUp();
    return true;
}

} // namespace sockhost
