// Paints the login window's skin, resources/login.bmp: the window body on a
// magenta background (transparent), a caption strip, labels beside the
// controls, and the OK and Cancel buttons in their rectangles.
//
//   login-skin OUTPUT.bmp

#include "tools/skins/skin_canvas.h"

int main(int argc, char** argv) {
    return skins::PaintSkin(
        argc, argv, "login-skin", QSize(360, 150), "Quellmark Login", [](QPainter& painter) {
            painter.setPen(QColor(30, 30, 30));
            painter.drawText(QRect(30, 39, 95, 20), Qt::AlignVCenter | Qt::AlignRight, "Name:");
            painter.drawText(QRect(30, 67, 95, 20), Qt::AlignVCenter | Qt::AlignRight, "Password:");
            painter.drawText(QRect(150, 88, 150, 20), Qt::AlignVCenter | Qt::AlignLeft,
                             "Remember me");
            skins::Button(painter, QRect(100, 113, 65, 24), "OK");
            skins::Button(painter, QRect(185, 113, 65, 24), "Cancel");
        });
}
