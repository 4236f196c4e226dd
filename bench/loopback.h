#pragma once
// Loopback addresses, connects and listeners shared by the benchmarks.

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qmbench {

inline sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connected socket, or -1.
inline int ConnectLoopback(unsigned short port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A listener on a port the kernel picks; the port is stored in `port`.
inline int ListenOnLoopback(unsigned short& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd, 64);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A loopback listener whose thread hands each accepted connection to `serve`,
// which closes it; stopped and joined when destroyed.
class AcceptLoop {
  public:
    explicit AcceptLoop(std::function<void(int)> serve) : serve_(std::move(serve)) {
        listener_ = ListenOnLoopback(port_);
        thread_ = std::thread([this] {
            for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0;) {
                serve_(fd);
            }
        });
    }
    ~AcceptLoop() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    AcceptLoop(const AcceptLoop&) = delete;
    AcceptLoop& operator=(const AcceptLoop&) = delete;

    unsigned short port() const { return port_; }

  private:
    std::function<void(int)> serve_;
    int listener_ = -1;
    unsigned short port_ = 0;
    std::thread thread_;
};

} // namespace qmbench
