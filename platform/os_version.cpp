#include "platform/os_version.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/utsname.h>

namespace platform {

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return FALSE;
    }
    utsname name;
    if (::uname(&name) != 0) {
        return FALSE;
    }
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build);
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = build;
    info->dwPlatformId = 2;
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", name.version);
    return TRUE;
}

bool SessionNotificationsAvailable() {
    struct stat info;
    return ::stat("/run/systemd/seats", &info) == 0 &&
           ::stat("/run/dbus/system_bus_socket", &info) == 0;
}

} // namespace platform
