#pragma once
// Code run as another account of the same computer ("nobody") in a child
// process of the test, to show what a stranger can and cannot do to this
// account's service. Needs root to change account.

#include <csignal>
#include <cstddef>
#include <cstring>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qmtest {

inline constexpr uid_t kNobody = 65534;

// A local socket bound to an abstract name (and listening when asked); -1 on failure.
inline int BindAbstractName(const std::string& name, bool listening) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        (listening && ::listen(fd, 16) != 0)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

// A connection to an abstract name; -1 when nobody listens there.
inline int ConnectAbstractName(const std::string& name) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A child process running as nobody. With `stay` the child, after fn, keeps
// what it holds until the object ends; otherwise Wait gives fn's result.
class OtherAccountProcess {
  public:
    OtherAccountProcess(const std::function<int()>& fn, bool stay) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(99);
            }
            int result = fn();
            if (!stay) {
                ::_exit(result);
            }
            char done = char(result);
            (void)!::write(ready[1], &done, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        pid_ = pid;
        if (stay && pid > 0) {
            char done = 1;
            stayResult_ = ::read(ready[0], &done, 1) == 1 ? done : -1;
        }
        ::close(ready[0]);
    }
    ~OtherAccountProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    OtherAccountProcess(const OtherAccountProcess&) = delete;
    OtherAccountProcess& operator=(const OtherAccountProcess&) = delete;

    // fn's result (a staying child: once it has run), or -1.
    int Wait() {
        if (stayResult_ != -2) {
            return stayResult_;
        }
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int stayResult_ = -2;
};

} // namespace qmtest
