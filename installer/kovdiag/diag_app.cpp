#include "installer/kovdiag/diag_app.h"

#include "installer/kovdiag/unlock_code_dlg.h"
#include "platform/qt/message_box.h"

bool CDiagApp::AskUnlockCode(QWidget* parent) {
    if (m_unlocked) {
        return true;
    }
    CUnlockCodeDlg dialog(*this, parent);
    if (platform::ExecDialog(dialog) != QDialog::Accepted) {
        platform::MessageBox("Invalid Diagnostic Code", "Unlock Code Error", platform::MB_OK);
        m_unlocked = false;
    }
    return m_unlocked;
}
