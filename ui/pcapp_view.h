#pragma once
// The administrator window's HTML view: it shows the local page set installed
// below the installation folder, starting at /splash/frame.htm.

#include <QTextBrowser>

#include <string>

class CPCAppView : public QTextBrowser {
    Q_OBJECT
  public:
    CPCAppView(std::string installFolder, QWidget* parent = nullptr);

    // Navigates to the start page without leaving a history entry, so that
    // going back never reaches an earlier visit of it.
    void ShowStartPage();

    // The start page's path.
    std::string StartPage() const;

  private:
    std::string installFolder_;
};
