// The filter service: one process per desktop session.

#include "service/app.h"

int main(int argc, char** argv) {
    CPCAppApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (!app.InitInstance()) {
        return 0;
    }
    app.exec();
    return app.ExitInstance();
}
