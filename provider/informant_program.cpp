// Asking the filter service whether a program may connect to a port.
#include "provider/informant.h"

#include "provider/lsp_log.h"

#include <cstdio>
#include <cstring>

namespace zul {
namespace {

constexpr const char* kProgramCheck = "CInformant::IsConnectionBlocked";
constexpr std::size_t kRecordSize = 1024;

} // namespace

bool CInformant::IsConnectionBlocked(int port, const char* app) {
    if (!app) {
        app = "";
    }
    WriteLog(kProgramCheck, FormatText("Data passed to function: Port = %d; App = %s", port, app),
             1);
    std::unique_lock<std::mutex> kindLock = channel_->LockKind(COMMS_APP);
    return ValidateComms(COMMS_APP) && AskAboutProgram(port, app);
}

bool CInformant::AskAboutProgram(int port, const char* app) {
    // The record is always 1024 bytes; a name too long for it is cut so that
    // the record keeps its terminating zero byte.
    char record[kRecordSize] = {};
    std::snprintf(record, sizeof record, "AB:%d,%s", port, app);
    if (!channel_->SendCommunication(record, int(sizeof record), COMMS_APP)) {
        WriteLog(kProgramCheck, "Error sending the application blocking packet to KOVARI", 1);
        return false;
    }
    std::memset(record, 0, sizeof record);
    if (!channel_->ReceiveCommunication(record, int(sizeof record), COMMS_APP)) {
        WriteLog(kProgramCheck, "Error receiving the application blocking packet from KOVARI", 1);
        return false;
    }
    if (std::memcmp(record, "AB:", 3) != 0) {
        WriteLog(kProgramCheck,
                 "Packet received from KOVARI was not the application blocking packet we expected",
                 1);
        return false;
    }
    if (record[3] == 'Y') {
        WriteLog(kProgramCheck, "BLOCKING THE APPLICATION", 1);
        return true;
    }
    WriteLog(kProgramCheck, "No blocking of this application will be done", 1);
    return false;
}

} // namespace zul
