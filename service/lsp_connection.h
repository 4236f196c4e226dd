#pragma once
// One accepted connection of the local filter channel. Each receive is one
// request; each request gets exactly one reply: 4 bytes "AB:Y"/"AB:N" for a
// program question (first three bytes "AB:"), 2 bytes for a site question
// (block letter, then the pop-up letter).

#include "platform/qt/async_socket.h"

#include <string>

class CLSPComms;
struct ChannelRequest;
namespace kovari {
class CAgencyComms;
}

class CLSPConnection : public platform::AsyncSocket {
    Q_OBJECT
  public:
    explicit CLSPConnection(CLSPComms* listener);
    ~CLSPConnection() override;

    void SetRatingClient(kovari::CAgencyComms* ratingClient) { ratingClient_ = ratingClient; }

    // True when the site is to be blocked.
    bool IsURLBlocked(const std::string& address);

  protected:
    // Reads one request and sends its reply.
    void OnReceive(int errorCode) override;
    // The peer has closed: this side closes too.
    void OnClose(int errorCode) override;

  private:
    std::string Answer(const ChannelRequest& request);

    CLSPComms* listener_;
    kovari::CAgencyComms* ratingClient_ = nullptr;
};
