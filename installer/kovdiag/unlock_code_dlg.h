#pragma once
// Asks support staff for the day's unlock code.

#include <QDialog>

#include <string>

class CDiagApp;
class QLineEdit;

class CUnlockCodeDlg : public QDialog {
  public:
    CUnlockCodeDlg(CDiagApp& app, QWidget* parent = nullptr);

    std::string m_code; // the typed text

  private:
    // Unlocks and closes with OK on the right code; closes as if cancelled otherwise.
    void OnOK();

    CDiagApp& m_app;
    QLineEdit* m_edit;
};
