#include "account/agency_comms.h"

namespace kovari {

// Without a rating service connection every site is allowed.
bool CAgencyComms::IsURLBlocked(const std::string&) {
    return false;
}

} // namespace kovari
