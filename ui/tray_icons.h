#pragma once
// The pictures of the tray icon resources: 130 a member is logged in (green),
// 131 a login is in progress (amber), 133 nobody is logged in (grey).

#include "platform/wintypes.h"

#include <QIcon>

// The picture of an icon resource; a null icon for any other number.
QIcon LoadTrayIcon(UINT resourceId);
