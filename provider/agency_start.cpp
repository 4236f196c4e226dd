// Finding the filter service by its presence and starting its program.
#include "provider/agency_comms.h"

#include "platform/presence.h"
#include "platform/shell.h"
#include "platform/sleep.h"
#include "platform/system_install.h"
#include "provider/lsp_log.h"

#include <cstdio>

namespace zul {

bool CAgencyComms::EstablishCommunications() {
    const char* function = "CAgencyComms::EstablishCommunications";
    WriteLog(function, "Looking for KOVARI running on system", 2);
    // A filtered account's process outside a desktop session (a timer job, a
    // login over the network) has nobody at a screen to answer the service: it
    // behaves as if the service could not be reached, never starts it and never
    // waits on it.
    if (platform::SystemWideInstall().filtered && !platform::HasDesktopSession()) {
        WriteLog(function, "No desktop session: KOVARI is not asked", 2);
        return false;
    }
    if (platform::IsPresent(kWindowClass)) {
        return true;
    }
    WriteLog(function, "Need to start KOVARI", 2);
    if (!StartApp()) {
        return false;
    }
    for (int wait = 0; wait < kStartWaits; ++wait) {
        Sleep(kStartWaitMs);
        if (platform::IsPresent(kWindowClass)) {
            WriteLog(function, "KOVARI has been started", 2);
            return true;
        }
    }
    WriteLog(function, "Unable to start KOVARI", 2);
    return false;
}

bool CAgencyComms::StartApp() {
    const char* function = "CAgencyComms::StartApp";
    char path[255];
    std::snprintf(path, sizeof path, "%s%s", directory_.c_str(), kProgram);
    WriteLog(function, "Attempting to start KOVARI", 2);
    WriteLog("CAgencyComms::StartApp->szPath", path, 2);
    std::intptr_t result = platform::ShellOpen(path);
    if (result > 32) {
        return true;
    }
    WriteLog(function, FormatText("Error code = %d", int(result)), 1);
    return false;
}

} // namespace zul
