#pragma once
// Hiding a window into the notification area and bringing it back, with the
// desktop's window animation between the window and the tray when the desktop
// has animations on.

#include <QRect>

class QWidget;

// Where the tray lies: the icon's own rectangle when the tray host reports it,
// otherwise a 150 by 30 strip in the bottom-right corner of the work area.
QRect TrayRect(const QRect& iconGeometry, const QRect& workArea);

void HideToTray(QWidget* window);
void ShowFromTray(QWidget* window);
