// Paints the login window's skin, resources/login.bmp: the window body on a
// magenta background (transparent), a caption strip, labels beside the
// controls, and the OK and Cancel buttons in their rectangles.
//
//   login-skin OUTPUT.bmp

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

void Button(QPainter& painter, const QRect& area, const char* label) {
    painter.setPen(QColor(40, 60, 110));
    painter.setBrush(QColor(225, 232, 245));
    painter.drawRoundedRect(area.adjusted(0, 0, -1, -1), 5, 5);
    painter.drawText(area, Qt::AlignCenter, label);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: login-skin OUTPUT.bmp\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    QImage image(360, 150, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, 360, 150), 14, 14);
    painter.fillPath(body, QColor(70, 100, 160));
    painter.fillRect(QRect(6, 26, 348, 118), QColor(240, 243, 250));
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(14, 0, 340, 24), Qt::AlignVCenter | Qt::AlignLeft, "Quellmark Login");
    font.setBold(false);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(QRect(30, 39, 95, 20), Qt::AlignVCenter | Qt::AlignRight, "Name:");
    painter.drawText(QRect(30, 67, 95, 20), Qt::AlignVCenter | Qt::AlignRight, "Password:");
    painter.drawText(QRect(150, 88, 150, 20), Qt::AlignVCenter | Qt::AlignLeft, "Remember me");
    Button(painter, QRect(100, 113, 65, 24), "OK");
    Button(painter, QRect(185, 113, 65, 24), "Cancel");
    painter.end();
    return image.save(argv[1], "BMP") ? 0 : 1;
}
