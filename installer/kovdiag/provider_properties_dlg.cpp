#include "installer/kovdiag/provider_properties_dlg.h"

#include "common/wide.h"
#include "installer/kovdiag/control_ids.h"
#include "installer/kovdiag/diag_app.h"
#include "installer/kovdiag/diag_installer.h"
#include "installer/kovdiag/winsock_diag_dlg.h"
#include "platform/guid.h"
#include "platform/qt/message_box.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

using namespace kovdiag;

namespace {

std::string GuidText(const GUID& guid) {
    WCHAR text[39];
    StringFromGUID2(guid, text, 39);
    return qm::NarrowFromWide(qm::WideField(text, 39));
}

QLineEdit* ValueField(int id, const std::string& text, QWidget* parent) {
    auto* field = new QLineEdit(QString::fromStdString(text), parent);
    field->setObjectName(ControlName(id));
    field->setReadOnly(true);
    // Wide enough for the whole value: its frame, QLineEdit's 2-pixel margins
    // on each side and the text.
    int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(field->text()) + 2 * frame + 4 +
                           field->textMargins().left() + field->textMargins().right());
    return field;
}

} // namespace

CProviderPropertiesDlg::CProviderPropertiesDlg(const CProviderItem& item, CDiagApp& app,
                                               CWinsockDiagDlg* mainDialog)
    : QDialog(mainDialog), m_providerId(GuidText(item.m_providerId)),
      m_catalogEntryId(std::to_string(item.m_catalogEntryId)),
      m_chainLength(std::to_string(item.m_chainLength)), m_protocolName(item.m_protocolName),
      m_guid(item.m_providerId), m_app(app), m_mainDialog(mainDialog) {
    setWindowTitle("LSP Properties");
    setFont(QFont("MS Sans Serif", 8));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("Provider ID:", ValueField(IDC_PROVIDER_ID, m_providerId, this));
    form->addRow("Catalog Entry ID:", ValueField(IDC_CATALOG_ENTRY_ID, m_catalogEntryId, this));
    form->addRow("Chain Length:", ValueField(IDC_CHAIN_LENGTH, m_chainLength, this));
    form->addRow("Protocol Name:", ValueField(IDC_PROTOCOL_NAME, m_protocolName, this));
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    m_uninstall = new QPushButton("Uninstall", this);
    m_uninstall->setObjectName(ControlName(IDC_UNINSTALL));
    // Only this product's own entries can be removed one by one.
    m_uninstall->setEnabled(m_protocolName.find("Quellmark") != std::string::npos);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(m_uninstall);
    layout->addLayout(buttons);
    // The resource's size, wider where a value needs it (a provider id in full).
    setFixedSize(std::max(DluX(233), minimumSizeHint().width()), DluY(74));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_uninstall, &QPushButton::clicked, this, [this] { OnUninstall(); });
}

void CProviderPropertiesDlg::OnUninstall() {
    if (!m_app.AskUnlockCode(this)) {
        return;
    }
    CDiagInstaller installer;
    int result = installer.removeByGuid(m_guid);
    if (result != 0) {
        platform::MessageBox("Error: " + std::to_string(result) +
                                 " ocurred while trying to uninstall.",
                             "Uninstall Error", platform::MB_OK);
    }
    if (m_mainDialog) {
        m_mainDialog->FillTree();
    }
    accept();
}
