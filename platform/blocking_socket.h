#pragma once
// A blocking TCP client socket in the manner of the framework's blocking
// socket class: send and receive block the calling thread, and whether such a
// call is in progress can be asked from anywhere. The handle can be detached
// on one thread and attached on another. Failures leave a Winsock error code
// and the system's text for the failure.

#include <atomic>
#include <cstdint>
#include <string>

namespace platform {

class BlockingSocket {
  public:
    BlockingSocket() = default;
    ~BlockingSocket();
    BlockingSocket(const BlockingSocket&) = delete;
    BlockingSocket& operator=(const BlockingSocket&) = delete;

    bool Create();
    // Connects to a dotted address or a host name, blocking until connected or refused.
    bool Connect(const std::string& host, unsigned port);
    // Bytes sent (all of them), or -1.
    int Send(const void* bytes, int length);
    // Bytes received by one call (0 when the peer has closed in order), or -1
    // (also for a closed connection that the peer has reset since).
    int Receive(void* buffer, int capacity);
    void Close();

    // Gives up the handle without closing it; -1 when there is none.
    int Detach();
    void Attach(int fd);

    bool IsOpen() const { return fd_ >= 0; }
    bool IsBlocking() const { return busy_; }
    int LastError() const { return lastError_; }
    std::string LastErrorText() const;

  private:
    void Fail(int error);

    std::atomic<int> fd_{-1};
    std::atomic<bool> busy_{false};
    int lastError_ = 0;
    int lastErrno_ = 0;
};

} // namespace platform
