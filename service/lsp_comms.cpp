#include "service/lsp_comms.h"

#include "service/app.h"
#include "service/lsp_connection.h"

#include <algorithm>
#include <unistd.h>

namespace {

constexpr int kBacklog = 5;

std::string WithError(const char* text, int error) {
    return text + std::to_string(error);
}

} // namespace

CLSPComms::CLSPComms(QObject* parent) : AsyncSocket(parent) {}

CLSPComms::~CLSPComms() = default;

bool CLSPComms::Initialize(std::uint16_t port, const std::string& address,
                           kovari::CAgencyComms* ratingClient) {
    const char* place = "CLSPComms::Initialize";
    AppLog(place, "Creating the Listen socket", 2);
    if (!Create(port, address)) {
        AppLog(place, WithError("Creating the socket failed.  Error = ", LastError()), 1);
        return false;
    }
    // Set after the bind, so it does not affect that bind.
    if (!SetReuseAddress()) {
        AppLog(place, WithError("Setting socket option to reuse failed.  Error = ", LastError()),
               1);
        Close();
        return false;
    }
    AppLog(place, "Begin listening", 2);
    if (!Listen(kBacklog)) {
        AppLog(place, WithError("Setting socket into listen mode failed.  Error = ", LastError()),
               1);
        Close();
        return false;
    }
    ratingClient_ = ratingClient;
    AppLog(place, "Listener is initialized", 2);
    return true;
}

void CLSPComms::OnAccept(int) {
    const char* place = "CLSPComms::OnAccept";
    auto* connection = new CLSPConnection(this);
    AppLog(place, "Accepting a new connection", 2);
    if (!Accept(*connection)) {
        AppLog(place, WithError("Unable to accept the incoming connection.  Error = ", LastError()),
               1);
        delete connection;
        return;
    }
    long owner = connection->PeerOwner();
    if (owner >= 0 && owner != long(::geteuid())) {
        // The channel answers this account's programs only (an owner that
        // cannot be told, where the kernel offers no socket diagnostics, passes).
        AppLog(place, "Refused a connection from another account", 1);
        delete connection;
        return;
    }
    connection->SetRatingClient(ratingClient_);
    connections_.push_back(connection);
    AppLog(place, "New connection accepted", 2);
}

void CLSPComms::Forget(CLSPConnection* connection) {
    connections_.erase(std::remove(connections_.begin(), connections_.end(), connection),
                       connections_.end());
    connection->deleteLater();
}
