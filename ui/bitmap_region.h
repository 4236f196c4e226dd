#pragma once
// A window outline from a skin bitmap: the pixels that are not the key colour
// (or, with keepNonKey false, those that are), as one region; and a window
// shaped to its skin.

#include <QImage>
#include <QRegion>

class QWidget;

// An empty region for a missing (null) bitmap.
QRegion BitmapToRegion(const QImage& bitmap, QRgb key, bool keepNonKey);

// Shapes a frameless window to its skin: the outline becomes the window's mask
// and the key-coloured pixels of the skin turn transparent, with a translucent
// window background. A mask shapes the window on X; a Wayland compositor takes
// it only for input, and there the transparent pixels give the outline. A
// null skin leaves the window as it is.
void ShapeToSkin(QWidget& window, QImage& skin, QRgb key);
