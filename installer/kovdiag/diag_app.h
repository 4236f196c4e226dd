#pragma once
// The diagnostic tool's application object: whether the daily unlock code has
// been entered in this run.

class QWidget;

class CDiagApp {
  public:
    // True at once when unlocked; otherwise asks for the code. A wrong code or
    // Cancel shows "Invalid Diagnostic Code" and leaves the tool locked.
    bool AskUnlockCode(QWidget* parent);

    bool m_unlocked = false;
};
