// Paints the pop-up blocker settings window's skin, resources/settings1.bmp:
// the window body on a magenta background (transparent), a caption strip with
// the close mark, frames and labels for the controls, and the Add, Remove, OK
// and Cancel buttons in their rectangles.
//
//   settings-skin OUTPUT.bmp

#include "tools/skins/skin_canvas.h"

namespace {

// Buttons by their rectangles (left, top, right, bottom; right and bottom excluded).
void Button(QPainter& painter, int left, int top, int right, int bottom, const char* label) {
    skins::Button(painter, QRect(left, top, right - left, bottom - top), label);
}

void Label(QPainter& painter, int x, int y, const char* text) {
    painter.setPen(QColor(30, 40, 70));
    painter.drawText(QPoint(x, y), text);
}

void PaintBody(QPainter& painter) {
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(580, 7, 588, 15); // the close mark, 577,4 to 591,19
    painter.drawLine(588, 7, 580, 15);
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
}

} // namespace

int main(int argc, char** argv) {
    return skins::PaintSkin(argc, argv, "settings-skin", QSize(600, 400), "Popup Blocker Settings",
                            PaintBody);
}
