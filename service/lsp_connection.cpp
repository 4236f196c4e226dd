#include "service/lsp_connection.h"

#include "account/agency_comms.h"
#include "account/user.h"
#include "service/app.h"
#include "service/block_notice.h"
#include "service/channel_request.h"
#include "service/lsp_comms.h"

namespace {

constexpr int kRequestSize = 1024;
constexpr char kPlace[] = "CLSPComms::OnReceive";

} // namespace

CLSPConnection::CLSPConnection(CLSPComms* listener) : AsyncSocket(listener), listener_(listener) {}

CLSPConnection::~CLSPConnection() = default;

void CLSPConnection::OnReceive(int) {
    AppLog(kPlace, "Receiving data from LSP", 2);
    char buffer[kRequestSize];
    int got = Receive(buffer, kRequestSize);
    if (got < 0) {
        AppLog(kPlace, "Unable to receive data off socket.  Error = " + std::to_string(LastError()),
               1);
        return; // no request, so no reply
    }
    ChannelRequest request = ReadChannelRequest(buffer, std::size_t(got));

    // While the answer is decided the event loop keeps running; this connection's
    // next bytes wait until its reply has been sent.
    PauseNotifications(true);
    std::string reply = Answer(request);
    PauseNotifications(false);

    Send(reply.data(), int(reply.size()));
    AppLog(kPlace, "Data received, processed, and response sent to LSP", 2);
}

std::string CLSPConnection::Answer(const ChannelRequest& request) {
    const std::string& text = request.text;
    if (request.program) {
        AppLog(kPlace, "Received an Application Blocking buffer", 2);
        bool blocked = ratingClient_ && ratingClient_->User().IsApplicationBlocked(text);
        return blocked ? "AB:Y" : "AB:N";
    }
    AppLog(kPlace, "Received an Website Categorization buffer", 2);
    std::string reply(1, IsURLBlocked(text) ? 'Y' : 'N');
    reply += ratingClient_ ? ratingClient_->User().GetPopupLetter(text) : 'O';
    return reply;
}

bool CLSPConnection::IsURLBlocked(const std::string& address) {
    if (!ratingClient_) {
        AppLog("CLSPComms::IsURLBlocked",
               "The AngecyComms object is not available.  Unable to handle data.", 1);
        return true;
    }
    CBlockedSites& sites = ratingClient_->User().BlockedSites();
    std::uint64_t mark = sites.Mark();
    bool blocked = ratingClient_->IsURLBlocked(address);
    if (blocked) {
        NoteBlockedSite(sites, address, mark);
    }
    return blocked;
}

void CLSPConnection::OnClose(int) {
    Close();
    listener_->Forget(this);
}
