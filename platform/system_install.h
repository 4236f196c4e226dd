#pragma once
// The system-wide install: the machine settings in /etc/quellmark name the
// Linux accounts that are filtered ("FilteredAccounts", commas between names).
// Whether it is active, and whether this process belongs to a filtered account,
// is decided once per process from its real user id (seen from outside any
// user namespace); the environment plays no part in it. A process of a filtered account reads its
// settings and catalog only from /etc/quellmark, whatever QUELLMARK_REGISTRY_DIR says, and keeps
// what it writes (user.prefs, Logs/, its user hive) in the account's own folder:
// the machine's `Dir` followed by "/" and the account name.
//
// Without such settings (a build tree, a test, the demo) nothing changes: a
// program run with the socket host preloaded is filtered, and the registry
// folder may be named by the environment.

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

// Where the machine settings of the system-wide install live.
inline constexpr char kMachineSettingsDir[] = "/etc/quellmark";
inline constexpr char kSettingsKey[] = "Software\\Quellmark\\Settings";
inline constexpr char kFilteredAccountsValue[] = "FilteredAccounts";

struct SystemInstall {
    bool active = false;   // the machine settings name at least one filtered account
    bool filtered = false; // this process's real user is one of them
    std::string account;   // the real user's account name (when filtered)
    std::string folder;    // the account's own folder (when filtered)
    uid_t uid = 0;         // the account's user id (when filtered)
};

// Decided at the first call and kept for the life of the process (a forked
// child keeps its parent's answer: it has the same real user). In a user
// namespace the user is the one outside it (platform/outside_user.h); when the
// namespace hides who that is, a process of a login session counts as the
// first filtered account's.
const SystemInstall& SystemWideInstall();

// The user id that names this process's account among the computer's
// processes: the filtered account's id, which a process in a user namespace
// of its own does not see as its own; otherwise the effective user id.
uid_t AccountUserId();

// The account names of a "FilteredAccounts" text: split at commas, blanks
// around each name dropped, empty names left out.
std::vector<std::string> SplitAccounts(std::string_view text);

// The installation folder to use for the `Dir` read from the registry: the
// account's own folder for a filtered process, `dir` itself otherwise.
std::string InstallFolderFor(const std::string& dir);

// A desktop session: an X or Wayland display, or a graphical session type.
bool HasDesktopSession();

} // namespace platform
