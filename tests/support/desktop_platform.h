#pragma once
// The Qt platform of the desktop a test runs the real service on: X (Xvfb)
// unless the test runs on a Wayland desktop (tests/ui/on_weston.sh).

#include <cstdlib>
#include <string>

namespace qmtest {

inline std::string DesktopPlatform() {
    const char* platform = std::getenv("QM_TEST_DESKTOP_PLATFORM");
    return platform && *platform ? platform : "xcb";
}

} // namespace qmtest
