#pragma once
// The small notification window through which the service tells the person at
// the screen about events.

#include <string>

class CNotifyDlg {
  public:
    // Queues an HTML text to be shown for displayMs milliseconds.
    void Show(unsigned displayMs, const std::string& html);
};
