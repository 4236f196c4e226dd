// The filter service: one process per desktop session.

#include "service/app.h"

#include "platform/system_install.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr char kUsage[] =
    "usage: KOVARI [--autostart]\n"
    "       KOVARI --help\n"
    "\n"
    "The family filter service of one desktop session: a tray icon, and the answers\n"
    "on the local filter channel (127.0.0.1:4100) to the filtered programs. Its\n"
    "settings come from the machine settings (/etc/quellmark, or the folder named by\n"
    "QUELLMARK_REGISTRY_DIR) and the user's settings; one copy runs per session.\n"
    "\n"
    "--autostart  as started with the desktop session: ends at once unless this\n"
    "             account is filtered by the system-wide install.\n"
    "--help       shows this text and starts nothing.\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--autostart" && !platform::SystemWideInstall().filtered) {
            return 0;
        }
    }
    // Started without a desktop (for example by the provider inside a program
    // run from a terminal or a timer), the service still runs and answers the
    // channel, without visible windows.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    CPCAppApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (!app.InitInstance()) {
        return 0;
    }
    app.exec();
    return app.ExitInstance();
}
