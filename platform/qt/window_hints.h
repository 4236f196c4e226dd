#pragma once
// Window hints that keep a window's look under X window managers that decide
// a window's boxes by its type rather than by the Motif hints Qt sets (openbox
// offers minimise and maximise to every normal, dialog and utility window).

class QWidget;

namespace platform {

// Marks the native window as a tool bar window first (no minimise and no
// maximise in any window manager), followed by the type Qt gave it for those
// that do not know tool bars. Call when the native window exists and before
// it is mapped (a show event); nothing happens outside X.
void MarkWithoutMinimiseAndMaximise(QWidget& window);

} // namespace platform
