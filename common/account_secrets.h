#pragma once
// The constants shared with the account server, assembled at run time from
// short pieces so that neither is ever stored whole in a binary.

#include <string>

namespace qm {

// The 12-character constant of the account server's answer proof.
std::string VerificationConstant();
// The 15-character constant mixed into the preference file's integrity code.
std::string IntegrityConstant();

} // namespace qm
