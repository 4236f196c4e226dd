#include "ui/bitmap_region.h"

#include <QRect>
#include <QWidget>

#include <vector>

namespace {

constexpr std::size_t kBatch = 2000; // rectangles per partial region

void Flush(std::vector<QRect>& rects, QRegion& result) {
    if (rects.empty()) {
        return;
    }
    QRegion part;
    part.setRects(rects.data(), int(rects.size())); // rows top to bottom, runs left to right
    result = result.isEmpty() ? part : result.united(part);
    rects.clear();
}

} // namespace

QRegion BitmapToRegion(const QImage& bitmap, QRgb key, bool keepNonKey) {
    QRegion result;
    if (bitmap.isNull()) {
        return result;
    }
    QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
    QRgb keyColour = key & 0xffffff;
    std::vector<QRect> rects;
    rects.reserve(kBatch);
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            auto wanted = [&](int at) { return ((row[at] & 0xffffff) != keyColour) == keepNonKey; };
            while (x < image.width() && !wanted(x)) {
                ++x;
            }
            int start = x;
            while (x < image.width() && wanted(x)) {
                ++x;
            }
            if (x > start) {
                rects.emplace_back(start, y, x - start, 1);
                if (rects.size() == kBatch) {
                    Flush(rects, result);
                }
            }
        }
    }
    Flush(rects, result);
    return result;
}

void ShapeToSkin(QWidget& window, QImage& skin, QRgb key) {
    QRegion outline = BitmapToRegion(skin, key, true);
    if (outline.isEmpty()) {
        return;
    }
    window.setMask(outline);
    window.setAttribute(Qt::WA_TranslucentBackground);
    skin = skin.convertToFormat(QImage::Format_ARGB32);
    QRgb keyColour = key & 0xffffff;
    for (int y = 0; y < skin.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(skin.scanLine(y));
        for (int x = 0; x < skin.width(); ++x) {
            if ((row[x] & 0xffffff) == keyColour) {
                row[x] = 0;
            }
        }
    }
}
