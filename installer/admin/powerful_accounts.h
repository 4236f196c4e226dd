#pragma once
// A filtered account that can act as root can take the filter off again: a
// member of a group that administers the computer (sudo, admin, wheel) or of
// one whose service runs what its members ask as root (docker, lxd,
// incus-admin, libvirt). The activation and the status name such accounts, so
// that a parent can take them out of the group.

#include <string>
#include <vector>

namespace qmadmin {

// Each such account once, in the order given, with those groups:
// "lena (sudo, docker)".
std::vector<std::string> PowerfulAccounts(const std::vector<std::string>& accounts);

// Prints the accounts and what to do about them; nothing when there are none.
void WarnOfPowerfulAccounts(const std::vector<std::string>& accounts);

} // namespace qmadmin
