// The rating service's answer to a site question: a status character and the
// site's category mask, met with the member's mask.

#include "account/agency_comms.h"
#include "account/user.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

CUser* gMember = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gMember = new CUser;
    gMember->Create("|user|anna<BR>|password|pw<BR>|catmask|0110000000000000000000000000001<BR>");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string answer(reinterpret_cast<const char*>(data), size);
    gMember->UserWantsBlock(kovari::RatingMask(answer));
    return 0;
}
