#pragma once
// A socket whose events arrive on the GUI thread's event loop, in the manner of
// the framework socket class the service is written against: derived classes
// override OnAccept, OnReceive and OnClose. Receive and Send are single calls
// on the kernel socket (one receive returns what one recv returns), and every
// failure leaves a Winsock error code in LastError().

#include <QObject>

#include <cstdint>
#include <string>

class QSocketNotifier;

namespace platform {

class AsyncSocket : public QObject {
    Q_OBJECT
  public:
    explicit AsyncSocket(QObject* parent = nullptr);
    ~AsyncSocket() override;

    // Creates a stream socket bound to address:port.
    bool Create(std::uint16_t port, const std::string& address);
    bool SetReuseAddress();
    bool Listen(int backlog);
    // Accepts a pending connection into a fresh socket object.
    bool Accept(AsyncSocket& connection);

    // Bytes received (0 when the peer has closed), or -1.
    int Receive(void* buffer, int length);
    // Bytes sent, or -1.
    int Send(const void* buffer, int length);
    void Close();

    // The account (user id) that owns the peer's socket of a connection
    // from this computer; -1 when it cannot be told.
    long PeerOwner() const;

    int LastError() const { return lastError_; }
    bool IsOpen() const { return fd_ >= 0; }

  protected:
    virtual void OnAccept(int errorCode);
    virtual void OnReceive(int errorCode);
    virtual void OnClose(int errorCode);

    // Stops and restarts read notifications (while a handler waits in a nested
    // loop). The notifier itself is switched off only when the socket becomes
    // readable during the pause, so a handler that never waits costs nothing.
    void PauseNotifications(bool paused);

  private:
    void Attach(int fd, bool listening);
    void OnReadable();

    int fd_ = -1;
    bool listening_ = false;
    bool paused_ = false;
    int lastError_ = 0;
    QSocketNotifier* readNotifier_ = nullptr;
};

} // namespace platform
