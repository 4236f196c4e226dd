#pragma once
// The service side of a named endpoint (platform/presence.h): while this object
// listens, other processes find the "window" by its name. Each control message
// line a client sends is delivered on the GUI thread as the signal controlMessage.

#include "platform/wintypes.h"

#include <QObject>

#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

class PresenceEndpoint : public QObject {
    Q_OBJECT
  public:
    explicit PresenceEndpoint(QObject* parent = nullptr);
    ~PresenceEndpoint() override;

    // Starts listening on the name; false when it is taken or cannot be bound.
    bool Listen(const std::string& name);

  signals:
    void controlMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    struct Client;
    void Accept();
    void Read(int fd);
    void Drop(int fd);

    int listenFd_ = -1;
    QSocketNotifier* acceptNotifier_ = nullptr;
    std::map<int, std::unique_ptr<Client>> clients_;
};

} // namespace platform
