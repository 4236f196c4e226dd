#include "ui/tray_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

enum class Mark { None, Progress, Check };

QPainterPath Shield() {
    QPainterPath shield;
    shield.moveTo(16, 2);
    shield.lineTo(28, 6);
    shield.cubicTo(28, 18, 23, 26, 16, 30);
    shield.cubicTo(9, 26, 4, 18, 4, 6);
    shield.closeSubpath();
    return shield;
}

// The state's picture: nobody logged in is an empty grey outline (no mark: it
// does not read as "protected"); a login in progress is an amber shield with
// three dots; a logged-in member is a green shield with a check mark.
QPixmap PaintShield(const QColor& colour, Mark mark, int size) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    if (mark == Mark::None) {
        painter.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(QColor(colour.red(), colour.green(), colour.blue(), 60));
        painter.drawPath(Shield());
        return picture;
    }
    painter.setPen(QPen(colour.darker(160), 2));
    painter.setBrush(colour);
    painter.drawPath(Shield());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    if (mark == Mark::Progress) {
        for (qreal x : {10.0, 16.0, 22.0}) {
            painter.drawEllipse(QPointF(x, 15), 2.4, 2.4);
        }
        return picture;
    }
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(10, 16), QPointF(14, 21), QPointF(22, 11)}));
    return picture;
}

} // namespace

QIcon LoadTrayIcon(UINT resourceId) {
    QColor colour;
    Mark mark = Mark::None;
    switch (resourceId) {
    case 130:
        colour = QColor(40, 160, 70);
        mark = Mark::Check;
        break;
    case 131:
        colour = QColor(235, 160, 30);
        mark = Mark::Progress;
        break;
    case 133:
        colour = QColor(120, 120, 130);
        break;
    default:
        return QIcon();
    }
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        icon.addPixmap(PaintShield(colour, mark, size));
    }
    return icon;
}
