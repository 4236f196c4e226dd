#pragma once
// The secret texts behind the installer's authorisation codes and the diagnostic
// unlock code. Each is put together at run time from short pieces, so no binary
// holds one whole; the support staff's code generator links the same functions.

#include <string>

namespace qm {

std::string InstallSecret(); // 12 letters
std::string RemovalSecret(); // 9 letters
std::string UnlockSecret();  // 13 letters

} // namespace qm
