#include "ui/notify_placement.h"

RECT NotifyPlacement(const RECT& taskbar, LONG screenWidth, LONG screenHeight) {
    LONG left = screenWidth - (kNotifyWidth + 2);
    LONG top = screenHeight - (kNotifyHeight + 2);
    if (taskbar.top <= 0 && taskbar.bottom >= screenHeight) {
        left = taskbar.left > 0 ? taskbar.left - (kNotifyWidth + 2) : taskbar.right + 2;
    } else if (taskbar.left <= 0 && taskbar.right >= screenWidth) {
        top =
            taskbar.bottom < screenHeight ? taskbar.bottom + 2 : taskbar.top - (kNotifyHeight + 2);
    }
    return RECT{left, top, left + kNotifyWidth, top + kNotifyHeight};
}

RECT TaskbarRect(const RECT& screen, const RECT& workArea) {
    if (workArea.bottom < screen.bottom) {
        return RECT{screen.left, workArea.bottom, screen.right, screen.bottom};
    }
    if (workArea.top > screen.top) {
        return RECT{screen.left, screen.top, screen.right, workArea.top};
    }
    if (workArea.right < screen.right) {
        return RECT{workArea.right, screen.top, screen.right, screen.bottom};
    }
    if (workArea.left > screen.left) {
        return RECT{screen.left, screen.top, workArea.left, screen.bottom};
    }
    return RECT{0, 0, 0, 0};
}
