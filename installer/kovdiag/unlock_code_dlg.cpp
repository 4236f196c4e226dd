#include "installer/kovdiag/unlock_code_dlg.h"

#include "installer/auth_codes.h"
#include "installer/kovdiag/control_ids.h"
#include "installer/kovdiag/diag_app.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace kovdiag;

CUnlockCodeDlg::CUnlockCodeDlg(CDiagApp& app, QWidget* parent) : QDialog(parent), m_app(app) {
    setWindowTitle("Diagnotics Login");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(DluX(147), DluY(58));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Unlock Code:", this));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(ControlName(IDC_UNLOCK_CODE));
    row->addWidget(m_edit);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OnOK(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CUnlockCodeDlg::OnOK() {
    m_code = m_edit->text().toStdString();
    if (qm::IsUnlockCode(m_code)) {
        m_app.m_unlocked = true;
        accept();
    } else {
        reject();
    }
}
