#pragma once
// The user a process acts for, as seen from outside any user namespace it runs
// in. A program started in a user namespace of its own (`unshare -r`, a
// container) sees itself as root, as nobody or as an id without an account;
// the filter must still know it for the account that started it.

#include <optional>
#include <sys/types.h>

namespace platform {

// Whether the process runs in the initial user namespace (false without /proc).
bool InInitialUserNamespace();

// In the initial user namespace: the real user id. In another one: the real
// user id mapped one level out through the namespace's map. nullopt when it
// cannot be told: the id has no map, or it maps to root (a namespace made
// inside another one maps to the outer namespace's root, whoever that is).
std::optional<uid_t> OutsideUserId();

// Whether the process belongs to a login session: its audit session, set at
// login and kept by every program started in it, which no unprivileged
// program can leave. System services belong to none.
bool InLoginSession();

// Where the login manager records each session ("ID" files with "UID=").
inline constexpr char kSessionRecords[] = "/run/systemd/sessions";

// The user of that login session as the login manager recorded it; nullopt
// without a session or a record, or for a record that a mount put there.
std::optional<uid_t> SessionUserId();

} // namespace platform
