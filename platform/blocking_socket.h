#pragma once
// A blocking TCP client socket in the manner of the framework's blocking
// socket class: send and receive block the calling thread, and whether such a
// call is in progress can be asked from anywhere. The handle can be detached
// on one thread and attached on another. Failures leave a Winsock error code
// and the system's text for the failure.
//
// With a time-out set, connect, each send and each receive give up after that
// many milliseconds of silence (error WSAETIMEDOUT). A close from another
// thread while a call is in progress shuts the connection down, which ends
// that call at once; the handle is closed when the call returns.

#include <atomic>
#include <cstdint>
#include <mutex>
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

    // What is waiting to be read, looked at without reading or waiting.
    enum class Waiting { Nothing, Bytes, Closed };
    Waiting Peek();

    // 0 waits for ever.
    void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    // Records a failure the caller found itself (an errno value).
    void NoteError(int error) { Fail(error); }

    // Gives up the handle without closing it; -1 when there is none.
    int Detach();
    void Attach(int fd);

    bool IsOpen() const { return fd_ >= 0; }
    bool IsBlocking() const { return busy_; }
    int LastError() const { return lastError_; }
    std::string LastErrorText() const;

  private:
    friend class BlockingCall;
    void Fail(int error);
    // Waits until the socket is ready for `events`; false (error noted) on time-out or failure.
    bool WaitFor(int fd, short events);

    std::atomic<int> fd_{-1};
    std::atomic<bool> busy_{false};
    std::atomic<int> timeoutMs_{0};
    std::mutex callLock_;
    bool closeAfterCall_ = false;
    int lastError_ = 0;
    int lastErrno_ = 0;
};

} // namespace platform
