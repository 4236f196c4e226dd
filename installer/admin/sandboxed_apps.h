#pragma once
// Programs installed as Flatpak or Snap packages run on their own copy of the
// system's libraries, which the preload list does not reach: the socket host
// is never loaded into them. The socket host refuses to start a program in a
// root of its own for a filtered account where it is loaded in the program
// that starts it (a sandbox builder such as bubblewrap), but that cannot be
// relied on for every launcher. The activation and the status name them, so
// that a parent can remove them.

#include <string>
#include <vector>

namespace qmadmin {

// Each such program once, sorted: "org.example.App (Flatpak)", "app (Snap)",
// or "org.example.App (Flatpak of lena)" for one a filtered account installed
// in its own home.
std::vector<std::string> SandboxedApps(const std::vector<std::string>& accounts);

// Prints the programs and what to do about them; nothing when there are none.
void WarnOfSandboxedApps(const std::vector<std::string>& accounts);

} // namespace qmadmin
