#pragma once
// The report of incompatible products that the setup library shows before it
// refuses to install. It may be shown from a setup program that has no window of
// its own in front, so it centres itself and comes to the top when shown.

#include <QDialog>

#include <string>

class QLabel;

class CIncompatibleProductsDlg : public QDialog {
  public:
    explicit CIncompatibleProductsDlg(QWidget* parent = nullptr);

    std::string m_report; // the shown texts, one per line

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* m_reportText;
};
