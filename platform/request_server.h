#pragma once
// A TCP listener whose connections are served by a thread of its own (epoll,
// level-triggered, no framework event loop): each receive of a connection is
// one request and gets exactly one reply. A connection answers a request at
// once on the server's thread, or holds it and the reply is sent later by
// whichever thread calls Reply(); a held connection is not read again until
// its reply has been sent, so each connection's replies follow its requests in
// order. Failures leave a Winsock error code in LastError().

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace platform {

class RequestServer {
  public:
    using ConnectionId = std::uint64_t;

    // One accepted connection; destroyed by the server's thread when the peer
    // has closed, or when the server stops.
    class Connection {
      public:
        virtual ~Connection() = default;
        // One receive (1 byte or more). True: `reply` is sent at once. False:
        // the request is held until Reply() brings its reply.
        virtual bool OnReceive(ConnectionId id, std::string_view request, std::string& reply) = 0;
        // After each reply has been sent (a failed send is not told apart), on
        // the thread that sent it.
        virtual void OnReplied() = 0;
    };

    // Runs on the server's thread.
    class Listener {
      public:
        virtual ~Listener() = default;
        // A connection has been accepted; peerOwner is the user id owning the
        // peer's socket (-1 when it cannot be told). Null closes it at once.
        virtual std::unique_ptr<Connection> OnAccept(long peerOwner) = 0;
        virtual void OnAcceptFailed(int wsaError) = 0;
    };

    explicit RequestServer(std::size_t maxRequestBytes);
    ~RequestServer();
    RequestServer(const RequestServer&) = delete;
    RequestServer& operator=(const RequestServer&) = delete;

    // A stream socket bound to address:port.
    bool Create(std::uint16_t port, const std::string& address);
    bool SetReuseAddress();
    bool Listen(int backlog);
    // Closes the listening socket (before Start).
    void Close();
    int LastError() const { return lastError_; }

    // Starts serving the listening socket on a new thread; false when there is
    // nothing to serve or the thread cannot be started.
    bool Start(Listener& listener);
    // Ends the thread and closes the listener and every connection; held
    // requests are dropped unanswered.
    void Stop();
    // From any thread: sends the held request's reply at once and reads its
    // connection again. Nothing happens once the server has stopped.
    void Reply(ConnectionId id, const std::string& reply);

  private:
    struct Accepted {
        int fd = -1;
        std::unique_ptr<Connection> connection;
    };

    void Run();
    void AcceptWaiting();
    void Receive(ConnectionId id);
    void Drop(ConnectionId id);

    const std::size_t maxRequestBytes_;
    int listenFd_ = -1;
    int pollFd_ = -1;
    int wakeFd_ = -1;
    int lastError_ = 0;
    Listener* listener_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    // Owned by the server's thread.
    std::unordered_map<ConnectionId, Accepted> connections_;
    ConnectionId nextId_ = 2; // 0 and 1 mark the listener and the wake-up
    std::vector<char> buffer_;
    std::string reply_;

    // The held connections, out of the epoll set until Reply() brings them
    // back, and replies that came before their connection was marked held.
    std::mutex heldLock_;
    std::unordered_map<ConnectionId, Accepted*> held_;
    std::unordered_map<ConnectionId, std::string> early_;
};

} // namespace platform
