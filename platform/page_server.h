#pragma once
// A small HTTP/1 server on its own thread, for a page the service serves
// itself. It never trusts a client: a request head larger than the limit, one
// that takes longer than the deadline, or one the handler refuses is dropped,
// and when all connection places are taken the oldest connection is closed to
// make room, so idle clients cannot shut the page out. One connection carries
// one request.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

struct PageServerLimits {
    std::size_t maxRequestBytes = 8192; // the request head, up to its empty line
    int deadlineMs = 5000;              // from accepting to the last byte sent
    std::size_t maxConnections = 64;
};

class PageServer {
  public:
    // Gets a request head (up to and including its empty line) and returns the
    // whole answer to send, or nothing to drop the connection. Runs on the
    // server's thread.
    using Handler = std::function<std::string(std::string_view head)>;

    explicit PageServer(Handler handler, PageServerLimits limits = {});
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Listens on address:port and starts the thread; false with a Winsock error code.
    bool Start(const std::string& address, std::uint16_t port, int* wsaError);
    // Ends the thread and closes every connection.
    void Stop();

  private:
    void Run();

    Handler handler_;
    PageServerLimits limits_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace platform
