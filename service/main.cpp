// The filter service: one process per desktop session.

#include "service/app.h"

#include <cstdlib>

int main(int argc, char** argv) {
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
