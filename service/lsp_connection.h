#pragma once
// One accepted connection of the local filter channel. Each receive is one
// request; each request gets exactly one reply: 4 bytes "AB:Y"/"AB:N" for a
// program question (first three bytes "AB:"), 2 bytes for a site question
// (block letter, then the pop-up letter). Program questions and site
// questions that the member's lists decide are answered on the channel's
// thread; any other site question (the rating service, a login) is decided
// on the user-interface thread while the connection waits for its reply.

#include "platform/request_server.h"

#include <cstdint>
#include <string>
#include <string_view>

class CLSPComms;
namespace kovari {
class CAgencyComms;
}

class CLSPConnection : public platform::RequestServer::Connection {
  public:
    CLSPConnection(CLSPComms* listener, kovari::CAgencyComms* ratingClient);

    // True when the site is to be blocked (user-interface thread).
    bool IsURLBlocked(const std::string& address);

    // Reads one request: answers it now, or hands it to the user-interface thread.
    bool OnReceive(platform::RequestServer::ConnectionId id, std::string_view request,
                   std::string& reply) override;
    void OnReplied() override;

  private:
    // The block letter of a site question: decided by the member's lists alone
    // (listsOnly; false when they do not decide it) or in full.
    bool Decide(const std::string& address, bool listsOnly, bool& blocked);
    void AnswerOnGuiThread(platform::RequestServer::ConnectionId id, std::string address);

    CLSPComms* listener_;
    kovari::CAgencyComms* ratingClient_;
};
