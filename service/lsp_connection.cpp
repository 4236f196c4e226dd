#include "service/lsp_connection.h"

#include "account/agency_comms.h"
#include "account/user.h"
#include "service/app.h"
#include "service/block_notice.h"
#include "service/channel_request.h"
#include "service/lsp_comms.h"

namespace {

constexpr char kPlace[] = "CLSPComms::OnReceive";

std::string SiteReply(kovari::CAgencyComms* ratingClient, const std::string& address,
                      bool blocked) {
    std::string reply(1, blocked ? 'Y' : 'N');
    reply += ratingClient ? ratingClient->User().GetPopupLetter(address) : 'O';
    return reply;
}

} // namespace

CLSPConnection::CLSPConnection(CLSPComms* listener, kovari::CAgencyComms* ratingClient)
    : listener_(listener), ratingClient_(ratingClient) {}

bool CLSPConnection::OnReceive(platform::RequestServer::ConnectionId id, std::string_view bytes,
                               std::string& reply) {
    AppLog(kPlace, "Receiving data from LSP", 2);
    ChannelRequest request = ReadChannelRequest(bytes.data(), bytes.size());
    CollectedNotifications notices;
    if (request.program) {
        AppLog(kPlace, "Received an Application Blocking buffer", 2);
        bool blocked = ratingClient_ && ratingClient_->User().IsApplicationBlocked(request.text);
        reply = blocked ? "AB:Y" : "AB:N";
    } else {
        AppLog(kPlace, "Received an Website Categorization buffer", 2);
        bool blocked = false;
        if (!Decide(request.text, true, blocked)) {
            AnswerOnGuiThread(id, std::move(request.text));
            return false;
        }
        reply = SiteReply(ratingClient_, request.text, blocked);
    }
    if (notices.Empty()) {
        return true;
    }
    // The person at the screen is told of the block before the program hears of it.
    notices.ShowThen([listener = listener_, id, reply] { listener->Reply(id, reply); });
    return false;
}

void CLSPConnection::OnReplied() {
    AppLog(kPlace, "Data received, processed, and response sent to LSP", 2);
}

bool CLSPConnection::IsURLBlocked(const std::string& address) {
    bool blocked = true;
    Decide(address, false, blocked);
    return blocked;
}

bool CLSPConnection::Decide(const std::string& address, bool listsOnly, bool& blocked) {
    if (!ratingClient_) {
        AppLog("CLSPComms::IsURLBlocked",
               "The AngecyComms object is not available.  Unable to handle data.", 1);
        blocked = true;
        return true;
    }
    CBlockedSites& sites = ratingClient_->User().BlockedSites();
    std::uint64_t mark = sites.Mark();
    if (!listsOnly) {
        blocked = ratingClient_->IsURLBlocked(address);
    } else if (!ratingClient_->DecideByLists(address, blocked)) {
        return false;
    }
    if (blocked) {
        NoteBlockedSite(sites, address, mark);
    }
    return true;
}

// The rating service or a login may take long: the user-interface thread
// decides, dispatching its events meanwhile (other held questions among them),
// and the reply goes back through the channel's thread. Only the connection's
// next request waits.
void CLSPConnection::AnswerOnGuiThread(platform::RequestServer::ConnectionId id,
                                       std::string address) {
    listener_->HandToGuiThread([listener = listener_, rating = ratingClient_, connection = this, id,
                                address = std::move(address)] {
        if (!listener->Serving()) {
            return; // the channel has ended, and its connections with it
        }
        bool blocked = connection->IsURLBlocked(address);
        listener->Reply(id, SiteReply(rating, address, blocked));
    });
}
