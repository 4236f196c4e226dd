#pragma once
// Whether the desktop shows tray icons as StatusNotifierItems: a
// StatusNotifierWatcher on the session bus with a host registered. Qt's tray
// icon asks the same once per process and then exports the icon and its menu
// over D-Bus instead of docking into an XEmbed tray.

namespace platform {

bool StatusNotifierHostRegistered();

} // namespace platform
