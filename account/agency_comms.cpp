#include "account/agency_comms.h"

#include "service/app.h"
#include "service/main_frame.h"

namespace kovari {

// Without a rating service connection every site is allowed.
// Every site question counts as the member's activity.
bool CAgencyComms::IsURLBlocked(const std::string&) {
    CPCAppApp* app = CPCAppApp::Current();
    if (CMainFrame* frame = app ? app->MainFrame() : nullptr) {
        frame->ResetIdleCount();
    }
    return false;
}

void CAgencyComms::Disconnect() {}

} // namespace kovari
