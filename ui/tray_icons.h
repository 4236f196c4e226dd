#pragma once
// The pictures of the tray icon resources, told apart by shape as well as
// colour: 130 a member is logged in (green shield, check mark), 131 a login is
// in progress (amber shield, three dots), 133 nobody is logged in (grey
// outline, no mark).

#include "platform/wintypes.h"

#include <QIcon>

// The picture of an icon resource; a null icon for any other number.
QIcon LoadTrayIcon(UINT resourceId);
