#include "platform/presence.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// Fills an abstract address: a leading NUL byte, then the name, no terminator.
socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

int ConnectToName(const std::string& name) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_un address;
    socklen_t length = AbstractAddress(name, address);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int ListenOnName(const std::string& name) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_un address;
    socklen_t length = AbstractAddress(name, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool IsPresent(const std::string& name) {
    int fd = ConnectToName(name);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool SendControlMessage(const std::string& name, UINT message, WPARAM wParam, LPARAM lParam) {
    int fd = ConnectToName(name);
    if (fd < 0) {
        return false;
    }
    char line[96];
    int length = std::snprintf(line, sizeof line, "%u %lu %ld\n", message,
                               static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    bool sent = ::send(fd, line, std::size_t(length), MSG_NOSIGNAL) == length;
    ::close(fd);
    return sent;
}

bool ParseControlMessage(const std::string& line, UINT& message, WPARAM& wParam, LPARAM& lParam) {
    unsigned m = 0;
    unsigned long w = 0;
    long l = 0;
    char extra = 0;
    if (std::sscanf(line.c_str(), "%u %lu %ld %c", &m, &w, &l, &extra) != 3) {
        return false;
    }
    message = m;
    wParam = w;
    lParam = l;
    return true;
}

int CreateNamedMutex(const std::string& name, DWORD* lastError) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    socklen_t length = AbstractAddress(name, address);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
        *lastError = ERROR_SUCCESS;
        return fd;
    }
    int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    *lastError = error == EADDRINUSE ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
    return -1;
}

} // namespace platform
