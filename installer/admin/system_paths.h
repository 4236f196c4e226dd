#pragma once
// Where the system-wide install keeps what it sets up.

#include <string>

namespace qmadmin {

inline constexpr char kPreloadFile[] = "/etc/ld.so.preload";
inline constexpr char kAutostartFile[] = "/etc/xdg/autostart/quellmark-kovari.desktop";
// The folder of the per-account folders: the machine settings' `Dir`.
inline constexpr char kDataRoot[] = "/var/lib/quellmark";
// What the first activation found, so that deactivation puts it back.
inline constexpr char kStateFolder[] = "/etc/quellmark/activation";

// The folder of the running program, where the package put every program and
// library of the filter.
std::string ProgramFolder();

} // namespace qmadmin
