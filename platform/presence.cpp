#include "platform/presence.h"

#include "platform/socket_owner.h"
#include "platform/system_install.h"

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

// How many abstract names one account's endpoint may try.
constexpr int kCandidates = 4;

// The index-th abstract name the account's endpoint may take.
std::string Candidate(const std::string& name, int index) {
    std::string account = name + "." + std::to_string(AccountUserId());
    return index == 0 ? account : account + "." + std::to_string(index);
}

// A name that cannot be bound because a process of this account holds it
// (or nobody can tell whose it is), as opposed to another account's.
bool HeldByOwnAccount(const std::string& candidate) {
    long owner = AbstractNameOwner(candidate);
    return owner < 0 || owner == long(::geteuid());
}

// Binds the first candidate name that is free, skipping those other accounts
// hold; -1 with errno EADDRINUSE when this account holds one already.
template <typename Bind> int BindCandidate(const std::string& name, Bind bind) {
    for (int index = 0; index < kCandidates; ++index) {
        std::string candidate = Candidate(name, index);
        int fd = bind(candidate);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EADDRINUSE || HeldByOwnAccount(candidate)) {
            return -1;
        }
    }
    errno = EADDRINUSE;
    return -1;
}

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

// A connection to the account's own listener on the name, or -1.
int ConnectToOwn(const std::string& name) {
    for (int index = 0; index < kCandidates; ++index) {
        int fd = ConnectToName(Candidate(name, index));
        if (fd >= 0 && PeerIsOwnAccount(fd)) {
            return fd;
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return -1;
}

} // namespace

int ListenOnName(const std::string& name) {
    return BindCandidate(name, [](const std::string& candidate) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            return -1;
        }
        sockaddr_un address;
        socklen_t length = AbstractAddress(candidate, address);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd, 16) != 0) {
            int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        return fd;
    });
}

bool PeerIsOwnAccount(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

bool IsPresent(const std::string& name) {
    int fd = ConnectToOwn(name);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool SendControlMessage(const std::string& name, UINT message, WPARAM wParam, LPARAM lParam) {
    int fd = ConnectToOwn(name);
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
    int fd = BindCandidate(name, [](const std::string& candidate) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address;
        socklen_t length = AbstractAddress(candidate, address);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
            int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        return fd;
    });
    if (fd >= 0) {
        *lastError = ERROR_SUCCESS;
        return fd;
    }
    *lastError = errno == EADDRINUSE ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
    return -1;
}

} // namespace platform
