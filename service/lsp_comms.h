#pragma once
// The listener of the local filter channel: TCP on the loopback address, whose
// connections carry the provider's site and program questions.

#include "platform/qt/async_socket.h"

#include <cstdint>
#include <string>
#include <vector>

class CLSPConnection;
namespace kovari {
class CAgencyComms;
}

class CLSPComms : public platform::AsyncSocket {
    Q_OBJECT
  public:
    explicit CLSPComms(QObject* parent = nullptr);
    ~CLSPComms() override;

    // Binds, listens with backlog 5 and keeps the rating client; true when listening.
    bool Initialize(std::uint16_t port, const std::string& address,
                    kovari::CAgencyComms* ratingClient);

    // Called by a connection whose peer has closed: it is dropped from the array and freed.
    void Forget(CLSPConnection* connection);

    std::size_t ConnectionCount() const { return connections_.size(); }

  protected:
    void OnAccept(int errorCode) override;

  private:
    kovari::CAgencyComms* ratingClient_ = nullptr;
    std::vector<CLSPConnection*> connections_;
};
