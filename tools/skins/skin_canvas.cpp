#include "tools/skins/skin_canvas.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace skins {

void Button(QPainter& painter, const QRect& area, const char* label) {
    painter.setPen(QColor(40, 60, 110));
    painter.setBrush(QColor(225, 232, 245));
    painter.drawRoundedRect(area.adjusted(0, 0, -1, -1), 5, 5);
    painter.drawText(area, Qt::AlignCenter, label);
}

int PaintSkin(int argc, char** argv, const char* program, QSize size, const char* caption,
              const std::function<void(QPainter&)>& paintBody) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", program);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    QPainterPath body;
    body.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 14, 14);
    painter.fillPath(body, QColor(70, 100, 160));
    painter.fillRect(QRect(6, 26, size.width() - 12, size.height() - 32), QColor(240, 243, 250));
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(14, 0, size.width() - 20, 24), Qt::AlignVCenter | Qt::AlignLeft,
                     caption);
    font.setBold(false);
    font.setPixelSize(12);
    painter.setFont(font);
    paintBody(painter);
    painter.end();
    return image.save(argv[1], "BMP") ? 0 : 1;
}

} // namespace skins
