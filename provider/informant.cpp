#include "provider/informant.h"

#include "common/text.h"
#include "platform/user_name.h"
#include "provider/agency_comms.h"
#include "provider/block_page.h"
#include "provider/http_request.h"
#include "provider/lsp_log.h"

#include <cstring>

namespace zul {
namespace {

constexpr const char* kInspect = "CInformant::InspectBuffer";
constexpr std::size_t kReplySize = 1024;

} // namespace

CInformant::CInformant(const std::string& directory, DWORD debugLevel)
    : CInformant(directory, debugLevel, nullptr) {}

CInformant::CInformant(const std::string& directory, DWORD debugLevel,
                       std::unique_ptr<CChannel> channel)
    : debugLevel_(debugLevel), directory_(directory) {
    WriteLog("CInformant::CInformant", "Loading Informant 2", 2);
    channel_ = channel ? std::move(channel) : std::make_unique<CAgencyComms>(directory, debugLevel);
}

void CInformant::InspectBuffer(const char* buffer, SOCKET socket, int length) {
    if (!buffer || length < 3 || !BeginsWithMethod(std::string_view(buffer, std::size_t(length)))) {
        return;
    }
    std::unique_lock<std::mutex> busy = TakeInspectionGuard();
    char url[kUrlSize] = {};
    if (!BuildURL(url, buffer, length)) {
        return;
    }
    char reply[kReplySize] = {};
    if (!AskAboutUrl(url, reply)) {
        mostWanted_.Add(socket, url, BlockPageUrl());
        return;
    }
    ApplyReply(reply, socket, url);
}

bool CInformant::IsSecureSiteBlocked(const char* url) {
    std::unique_lock<std::mutex> busy = TakeInspectionGuard();
    char reply[kReplySize] = {};
    if (!AskAboutUrl(url, reply)) {
        return true;
    }
    LogReply(reply);
    if (reply[0] != 'Y') {
        return false;
    }
    WriteLog(kInspect, "***** BLOCKING WEBSITE *****", 2);
    return true;
}

// One inspection at a time: a thread that finds one in progress sleeps until
// it ends and is woken then.
std::unique_lock<std::mutex> CInformant::TakeInspectionGuard() {
    std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) {
        WriteLog(kInspect, "Blocked.....", 2);
        busy.lock();
    }
    return busy;
}

bool CInformant::AskAboutUrl(const char* url, char* reply) {
    std::unique_lock<std::mutex> kindLock = channel_->LockKind(COMMS_URL);
    if (!ValidateComms(COMMS_URL)) {
        WriteLog(kInspect, "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***", 1);
        return false;
    }
    WriteLog(kInspect, "Sending URL Cat request to KOVARI", 2);
    if (!channel_->SendCommunication(url, int(std::strlen(url)), COMMS_URL)) {
        WriteLog(kInspect, "Unable to send request to KOVARI *** BLOCKING TRAFFIC ***", 1);
        return false;
    }
    WriteLog(kInspect, "Waiting on categorization from KOVARI", 2);
    if (!channel_->ReceiveCommunication(reply, int(kReplySize), COMMS_URL)) {
        WriteLog(kInspect, "Unable to receive response from KOVARI *** BLOCKING TRAFFIC ***", 1);
        return false;
    }
    return true;
}

void CInformant::LogReply(const char* reply) const {
    WriteLog("CInformant::InspectBuffer->szRecvBuf",
             std::string_view(reply, ::strnlen(reply, kReplySize)), 2);
}

// reply holds kReplySize bytes.
void CInformant::ApplyReply(const char* reply, SOCKET socket, const char* url) {
    LogReply(reply);
    if (reply[0] == 'Y') {
        WriteLog(kInspect, "***** BLOCKING WEBSITE *****", 2);
        mostWanted_.Add(socket, url, BlockPageUrl());
    } else {
        WriteLog(kInspect, "Making sure socket is not in Most Wanted List", 3);
        mostWanted_.RemoveSocket(socket);
    }
    if (reply[1] == 'O') {
        return;
    }
    if (reply[1] == 'Y') {
        WriteLog(kInspect, "***** BLOCKING POPUPS *****", 2);
        popups_.Add(socket);
    } else {
        WriteLog(kInspect, "***** ALLOWING POPUPS *****", 2);
        popups_.Remove(socket);
    }
}

bool CInformant::ValidateComms(int kind) {
    char user[257] = {};
    DWORD size = sizeof user;
    if (GetUserNameA(user, &size)) {
        if (qm::EqualsNoCase(user, "system")) {
            return false;
        }
    } else {
        WriteLog("CInformant::ValidateComms", "Failed to get username from thread", 1);
    }
    if (channel_->IsConnected(kind)) {
        return true;
    }
    WriteLog("CInformant::ValidateComms", "No connection to KOVARI present trying to connect", 2);
    return channel_->EstablishCommunication(kind);
}

void CInformant::WriteLog(const char* function, std::string_view message, DWORD level) const {
    zul::WriteLog(directory_, debugLevel_, function, message, level);
}

} // namespace zul
