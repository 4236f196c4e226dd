// The filter service: one process per desktop session.

#include "service/app.h"
#include "service/main_frame.h"
#include "service/service_constants.h"

#include "platform/presence.h"
#include "platform/qt/message_box.h"
#include "platform/system_install.h"
#include "ui/system_tray.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr char kUsage[] =
    "usage: KOVARI [--autostart | --administrator]\n"
    "       KOVARI --help\n"
    "\n"
    "The family filter service of one desktop session: a tray icon, and the answers\n"
    "on the local filter channel (127.0.0.1:4100) to the filtered programs. Its\n"
    "settings come from the machine settings (/etc/quellmark, or the folder named by\n"
    "QUELLMARK_REGISTRY_DIR) and the user's settings; one copy runs per session.\n"
    "\n"
    "--autostart      as started with the desktop session: ends at once unless\n"
    "                 this account is filtered by the system-wide install.\n"
    "--administrator  opens the administrator window of the copy that runs in\n"
    "                 this session, or starts the service with it open; for\n"
    "                 desktops without a tray. Under a system-wide install only\n"
    "                 a filtered account starts the service this way.\n"
    "--help           shows this text and starts nothing.\n";

constexpr char kNotFiltered[] = "The family filter is not active for this account, so there is "
                                "no administrator window to open here.";

// Refuses --administrator where the filter does not run: on standard error,
// and in a box when there is a desktop (the menu entry was picked).
int RefuseNotFiltered(int& argc, char** argv) {
    std::fprintf(stderr, "KOVARI: %s\n", kNotFiltered);
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) {
        QApplication app(argc, argv);
        platform::MessageBox(kNotFiltered, "Quellmark family filter",
                             platform::MB_OK | platform::MB_ICONINFORMATION);
    }
    return 1;
}

// Asks the copy that runs in this session to open its administrator window;
// false when none runs.
bool OpenRunningAdministrator() {
    return platform::SendControlMessage(kWindowClassName, WM_COMMAND, ID_OPEN_ADMINISTRATOR, 0);
}

} // namespace

int main(int argc, char** argv) {
    bool administrator = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--autostart" && !platform::SystemWideInstall().filtered) {
            return 0;
        }
        administrator = administrator || arg == "--administrator";
    }
    if (administrator) {
        if (OpenRunningAdministrator()) {
            return 0;
        }
        const platform::SystemInstall& install = platform::SystemWideInstall();
        if (install.active && !install.filtered) {
            return RefuseNotFiltered(argc, argv);
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
        if (administrator) {
            OpenRunningAdministrator(); // another copy took the session meanwhile
        }
        return 0;
    }
    if (administrator) {
        app.MainFrame()->WindowProc(WM_COMMAND, ID_OPEN_ADMINISTRATOR, 0);
    }
    app.exec();
    return app.ExitInstance();
}
