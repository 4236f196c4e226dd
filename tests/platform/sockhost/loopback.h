#pragma once
// Loopback helpers for the socket host's tests: a listening socket on
// 127.0.0.1 with a port the kernel chooses, and a server thread that answers
// each connection with a function and is joined at the end of the test.

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qmtest {

inline sockaddr_in LoopbackAddress(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Listens on 127.0.0.1 with a port of the kernel's choosing.
inline int ListenLoopback(unsigned short& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return fd;
}

inline int ConnectLoopback(unsigned short port, int type = SOCK_STREAM) {
    int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address = LoopbackAddress(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Accepts `connections` connections in a thread and hands each to `serve`.
class LoopbackServer {
  public:
    LoopbackServer(int connections, std::function<void(int)> serve)
        : listener_(ListenLoopback(port_)), thread_([this, connections, serve] {
              for (int i = 0; i < connections; ++i) {
                  int fd = ::accept(listener_, nullptr, nullptr);
                  if (fd < 0) {
                      return;
                  }
                  serve(fd);
                  ::close(fd);
              }
          }) {}
    ~LoopbackServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    unsigned short port() const { return port_; }

  private:
    unsigned short port_ = 0;
    int listener_;
    std::thread thread_;
};

// Reads until the peer closes; returns everything.
inline std::string ReadAll(int fd) {
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return data;
        }
        data.append(buffer, size_t(n));
    }
}

inline bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= size_t(n);
    }
    return true;
}

// Sends back whatever arrives until the peer closes.
inline void Echo(int peer) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(peer, buffer, sizeof buffer);
        if (n <= 0 || !WriteAll(peer, buffer, size_t(n))) {
            return;
        }
    }
}

} // namespace qmtest
