// kovdiag: the diagnostic tool. Its main dialog is its only window; closing it
// ends the program.

#include "installer/kovdiag/diag_app.h"
#include "installer/kovdiag/winsock_diag_dlg.h"
#include "platform/qt/message_box.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CDiagApp app;
    CWinsockDiagDlg dialog(app);
    platform::ExecDialog(dialog);
    return 0;
}
