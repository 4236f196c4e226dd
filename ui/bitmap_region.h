#pragma once
// A window outline from a skin bitmap: the pixels that are not the key colour
// (or, with keepNonKey false, those that are), as one region.

#include <QImage>
#include <QRegion>

// An empty region for a missing (null) bitmap.
QRegion BitmapToRegion(const QImage& bitmap, QRgb key, bool keepNonKey);
