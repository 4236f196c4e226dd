#pragma once
// Stand-ins for GetVersionExA (the kernel release from uname) and for the
// presence of the session notification service.

#include "platform/wintypes.h"

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

namespace platform {

// True when the version is major.minor or later.
inline bool VersionAtLeast(const OSVERSIONINFOA& info, DWORD major, DWORD minor) {
    return info.dwMajorVersion > major ||
           (info.dwMajorVersion == major && info.dwMinorVersion >= minor);
}

// Fills the structure from the kernel release ("6.1.0-18-amd64" gives 6, 1, 0).
// Fails (FALSE) when dwOSVersionInfoSize is not 148.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// True when the desktop's session manager (logind on the system bus) can be
// asked for session changes; the fast-user-switch handling needs it.
bool SessionNotificationsAvailable();

} // namespace platform
