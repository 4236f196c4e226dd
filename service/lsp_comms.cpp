#include "service/lsp_comms.h"

#include "platform/qt/gui_thread.h"
#include "service/app.h"
#include "service/lsp_connection.h"

#include <unistd.h>

namespace {

constexpr int kBacklog = 5;
constexpr std::size_t kRequestSize = 1024;
constexpr char kAcceptPlace[] = "CLSPComms::OnAccept";

std::string WithError(const char* text, int error) {
    return text + std::to_string(error);
}

} // namespace

CLSPComms::CLSPComms(QObject* parent)
    : QObject(parent), server_(kRequestSize), guiQueue_(new platform::GuiQueue(this)) {}

CLSPComms::~CLSPComms() {
    Stop();
}

bool CLSPComms::Initialize(std::uint16_t port, const std::string& address,
                           kovari::CAgencyComms* ratingClient) {
    const char* place = "CLSPComms::Initialize";
    AppLog(place, "Creating the Listen socket", 2);
    if (!server_.Create(port, address)) {
        AppLog(place, WithError("Creating the socket failed.  Error = ", server_.LastError()), 1);
        return false;
    }
    // Set after the bind, so it does not affect that bind.
    if (!server_.SetReuseAddress()) {
        AppLog(place,
               WithError("Setting socket option to reuse failed.  Error = ", server_.LastError()),
               1);
        server_.Close();
        return false;
    }
    AppLog(place, "Begin listening", 2);
    if (!server_.Listen(kBacklog)) {
        AppLog(place,
               WithError("Setting socket into listen mode failed.  Error = ", server_.LastError()),
               1);
        server_.Close();
        return false;
    }
    ratingClient_ = ratingClient;
    AppLog(place, "Listener is initialized", 2);
    // Questions are answered from when the event loop runs, as when the
    // listener's notifications came through it: the start-up lists and the
    // main window are in place by then.
    platform::PostToGuiThread([this] {
        serving_ = server_.Start(*this);
        if (!serving_) {
            server_.Close(); // programs then find no channel instead of waiting on it
            AppLog("CLSPComms::Initialize",
                   WithError("Unable to serve the channel.  Error = ", server_.LastError()), 1);
        }
    });
    return true;
}

void CLSPComms::Stop() {
    serving_ = false;
    server_.Stop();
}

void CLSPComms::Reply(platform::RequestServer::ConnectionId id, const std::string& reply) {
    server_.Reply(id, reply);
}

void CLSPComms::HandToGuiThread(std::function<void()> job) {
    guiQueue_->Push(std::move(job));
}

std::unique_ptr<platform::RequestServer::Connection> CLSPComms::OnAccept(long peerOwner) {
    AppLog(kAcceptPlace, "Accepting a new connection", 2);
    if (peerOwner >= 0 && peerOwner != long(::geteuid())) {
        // The channel answers this account's programs only (an owner that
        // cannot be told, where the kernel offers no socket diagnostics, passes).
        AppLog(kAcceptPlace, "Refused a connection from another account", 1);
        return nullptr;
    }
    auto connection = std::make_unique<CLSPConnection>(this, ratingClient_);
    AppLog(kAcceptPlace, "New connection accepted", 2);
    return connection;
}

void CLSPComms::OnAcceptFailed(int wsaError) {
    AppLog(kAcceptPlace, "Accepting a new connection", 2);
    AppLog(kAcceptPlace, WithError("Unable to accept the incoming connection.  Error = ", wsaError),
           1);
}
