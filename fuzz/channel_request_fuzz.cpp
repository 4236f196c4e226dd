// The local filter channel's request: one receive of at most 1024 bytes,
// split into a program question ("AB:" port "," program) or a site address,
// and decided from a member's lists the way the service answers it.

#include "account/user.h"
#include "fuzz/service_fixture.h"
#include "service/channel_request.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::size_t kReceiveSize = 1024;

constexpr char kPreferences[] = "[POPUPS]\r\nanna,*.example.org\r\n\r\n"
                                "[PORTS]\r\nanna,6667,IRC\r\n*,25,Mail\r\n\r\n"
                                "[APPS]\r\nanna,chat.exe,Chat\r\n*,game,Game\r\n\r\n"
                                "[SOALLOWS]\r\nanna,www.example.com\r\n\r\n"
                                "[SODENIES]\r\nanna,*.example.net\r\n*,bad.example\r\n\r\n";

CUser* gUser = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ServiceFixture::Get().WritePreferences(kPreferences);
    gUser = new CUser;
    gUser->Create("|user|anna<BR>|password|pw<BR>|catmask|11<BR>|popupblocker|Y<BR>"
                  "|localoverrides|Y<BR>|localoverridesver|0<BR>");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kReceiveSize) {
        return 0; // one receive never holds more
    }
    ChannelRequest request = ReadChannelRequest(reinterpret_cast<const char*>(data), size);
    if (request.program) {
        gUser->IsApplicationBlocked(request.text);
        return 0;
    }
    int decision = gUser->GetLocalDecision(request.text);
    char popup = gUser->GetPopupLetter(request.text);
    if (decision < LOCAL_DECISION_NONE || decision > LOCAL_DECISION_DENY ||
        (popup != 'Y' && popup != 'N')) {
        std::abort();
    }
    return 0;
}
