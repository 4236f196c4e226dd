// Paints the pop-up blocker settings window's skin, resources/settings1.bmp:
// the window body on a magenta background (transparent), a caption strip with
// the close mark, frames and labels for the controls, and the Add, Remove, OK
// and Cancel buttons in their rectangles.
//
//   settings-skin OUTPUT.bmp

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

// Buttons by their rectangles (left, top, right, bottom; right and bottom excluded).
void Button(QPainter& painter, int left, int top, int right, int bottom, const char* label) {
    QRect area(left, top, right - left, bottom - top);
    painter.setPen(QColor(40, 60, 110));
    painter.setBrush(QColor(225, 232, 245));
    painter.drawRoundedRect(area.adjusted(0, 0, -1, -1), 5, 5);
    painter.drawText(area, Qt::AlignCenter, label);
}

void Label(QPainter& painter, int x, int y, const char* text) {
    painter.setPen(QColor(30, 40, 70));
    painter.drawText(QPoint(x, y), text);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings-skin OUTPUT.bmp\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, 600, 400), 14, 14);
    painter.fillPath(body, QColor(70, 100, 160));
    painter.fillRect(QRect(6, 26, 588, 368), QColor(240, 243, 250));

    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(14, 0, 500, 24), Qt::AlignVCenter | Qt::AlignLeft,
                     "Popup Blocker Settings");
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(580, 7, 588, 15); // the close mark, 577,4 to 591,19
    painter.drawLine(588, 7, 580, 15);

    font.setBold(false);
    font.setPixelSize(12);
    painter.setFont(font);
    Label(painter, 20, 48, "Profile:");
    Label(painter, 20, 102, "Sites whose pop-ups are allowed:");
    Label(painter, 443, 198, "Site to allow:");
    painter.setPen(QColor(120, 130, 160));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(19, 55, 401, 25));   // profile list
    painter.drawRect(QRect(19, 109, 401, 279)); // site list
    painter.drawRect(QRect(442, 205, 143, 25)); // site to add
    Button(painter, 443, 243, 544, 265, "Remove");
    Button(painter, 443, 276, 544, 297, "Add");
    Button(painter, 442, 364, 507, 388, "OK");
    Button(painter, 520, 364, 585, 388, "Cancel");
    painter.end();
    return image.save(argv[1], "BMP") ? 0 : 1;
}
