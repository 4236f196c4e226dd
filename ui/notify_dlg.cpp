#include "ui/notify_dlg.h"

// The window itself is not built yet: notifications are dropped.
void CNotifyDlg::Show(unsigned, const std::string&) {}
