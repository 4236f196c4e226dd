#pragma once
// Where the notification window goes: in the corner where the taskbar meets
// the right edge of the screen (top or bottom taskbar) or the bottom edge (left
// or right taskbar), 2 pixels off the screen edge and off the taskbar.

#include "platform/wintypes.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
    bool operator==(const RECT&) const = default;
};

constexpr LONG kNotifyWidth = 200;
constexpr LONG kNotifyHeight = 80;

// The window's rectangle for taskbar rectangle taskbar on a screen of
// screenWidth by screenHeight pixels. A taskbar that spans neither the whole
// width nor the whole height (or none at all) gives the bottom-right corner.
RECT NotifyPlacement(const RECT& taskbar, LONG screenWidth, LONG screenHeight);

// The taskbar's rectangle as the strip of the screen that the desktop keeps out
// of its work area (bottom, top, right, left, in that order of preference); an
// empty rectangle when the work area is the whole screen.
RECT TaskbarRect(const RECT& screen, const RECT& workArea);
