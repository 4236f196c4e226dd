#pragma once
// The properties of one catalog entry, with removal of this product's own entries.

#include "installer/kovdiag/provider_item.h"

#include <QDialog>

#include <string>

class CDiagApp;
class CWinsockDiagDlg;
class QPushButton;

class CProviderPropertiesDlg : public QDialog {
  public:
    CProviderPropertiesDlg(const CProviderItem& item, CDiagApp& app, CWinsockDiagDlg* mainDialog);

    std::string m_providerId;
    std::string m_catalogEntryId;
    std::string m_chainLength;
    std::string m_protocolName;

  private:
    void OnUninstall();

    GUID m_guid;
    CDiagApp& m_app;
    CWinsockDiagDlg* m_mainDialog;
    QPushButton* m_uninstall;
};
