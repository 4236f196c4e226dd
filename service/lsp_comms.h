#pragma once
// The listener of the local filter channel: TCP on the loopback address, whose
// connections carry the provider's site and program questions. The channel is
// served by a thread of its own (platform::RequestServer), so that a question
// the member's lists decide never waits for the user-interface thread; what
// needs that thread is handed to it (CLSPConnection).

#include "platform/qt/gui_queue.h"
#include "platform/request_server.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kovari {
class CAgencyComms;
}

class CLSPComms : public QObject, private platform::RequestServer::Listener {
  public:
    explicit CLSPComms(QObject* parent = nullptr);
    ~CLSPComms() override;

    // Binds, listens with backlog 5 and keeps the rating client; true when
    // listening. The channel is served once the event loop runs.
    bool Initialize(std::uint16_t port, const std::string& address,
                    kovari::CAgencyComms* ratingClient);
    // Ends serving: no question is answered afterwards. Called before the
    // rating client goes.
    void Stop();
    bool Serving() const { return serving_; }

    // From any thread: the reply to a question its connection held.
    void Reply(platform::RequestServer::ConnectionId id, const std::string& reply);
    // From the channel's thread: a question's work for the user-interface
    // thread, where it may wait while other questions are handed in.
    void HandToGuiThread(std::function<void()> job);

  private:
    std::unique_ptr<platform::RequestServer::Connection> OnAccept(long peerOwner) override;
    void OnAcceptFailed(int wsaError) override;

    kovari::CAgencyComms* ratingClient_ = nullptr;
    platform::RequestServer server_;
    platform::GuiQueue* guiQueue_;
    bool serving_ = false; // user-interface thread only
};
