// kovdiag: the diagnostic tool. Its main dialog is its only window; closing it
// ends the program.

#include "installer/kovdiag/diag_app.h"
#include "installer/kovdiag/winsock_diag_dlg.h"
#include "platform/qt/message_box.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("usage: kovdiag [--help]\n"
                       "\n"
                       "The diagnostic tool for support staff: shows the socket catalog as a\n"
                       "tree, installs or removes the filter's provider and sets the provider's\n"
                       "log level once the day's unlock code is entered. Changing the catalog of\n"
                       "the system-wide install needs root.\n",
                       stdout);
            return 0;
        }
    }
    QApplication application(argc, argv);
    CDiagApp app;
    CWinsockDiagDlg dialog(app);
    platform::ExecDialog(dialog);
    return 0;
}
