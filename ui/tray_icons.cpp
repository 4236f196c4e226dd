#include "ui/tray_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A shield with a check mark, in the state's colour.
QPixmap PaintShield(const QColor& colour, int size) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    QPainterPath shield;
    shield.moveTo(16, 2);
    shield.lineTo(28, 6);
    shield.cubicTo(28, 18, 23, 26, 16, 30);
    shield.cubicTo(9, 26, 4, 18, 4, 6);
    shield.closeSubpath();
    painter.setPen(QPen(colour.darker(160), 2));
    painter.setBrush(colour);
    painter.drawPath(shield);
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(10, 16), QPointF(14, 21), QPointF(22, 11)}));
    return picture;
}

} // namespace

QIcon LoadTrayIcon(UINT resourceId) {
    QColor colour;
    switch (resourceId) {
    case 130:
        colour = QColor(40, 160, 70);
        break;
    case 131:
        colour = QColor(235, 160, 30);
        break;
    case 133:
        colour = QColor(130, 130, 140);
        break;
    default:
        return QIcon();
    }
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        icon.addPixmap(PaintShield(colour, size));
    }
    return icon;
}
