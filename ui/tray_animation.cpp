#include "ui/tray_animation.h"

#include "service/app.h"
#include "service/main_frame.h"

#include <QApplication>
#include <QPropertyAnimation>
#include <QRubberBand>
#include <QScreen>
#include <QWidget>

namespace {

constexpr int kAnimationMs = 250;

QRect CurrentTrayRect() {
    QRect icon;
    CPCAppApp* app = CPCAppApp::Current();
    if (app && app->MainFrame()) {
        icon = app->MainFrame()->Tray().IconGeometry();
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    return TrayRect(icon, screen ? screen->availableGeometry() : QRect());
}

// The caption animation: a frame that moves from one rectangle to the other.
void AnimateRects(const QRect& from, const QRect& to) {
    if (!QApplication::isEffectEnabled(Qt::UI_General) || from.isEmpty() || to.isEmpty()) {
        return;
    }
    auto* band = new QRubberBand(QRubberBand::Rectangle);
    band->setGeometry(from);
    band->show();
    auto* animation = new QPropertyAnimation(band, "geometry", band);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(from);
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, band, &QObject::deleteLater);
    animation->start();
}

} // namespace

QRect TrayRect(const QRect& iconGeometry, const QRect& workArea) {
    if (iconGeometry.isValid() && !iconGeometry.isEmpty()) {
        return iconGeometry;
    }
    return QRect(QPoint(workArea.right() + 1 - 150, workArea.bottom() + 1 - 30),
                 QPoint(workArea.right(), workArea.bottom()));
}

void HideToTray(QWidget* window) {
    AnimateRects(window->frameGeometry(), CurrentTrayRect());
    window->hide();
}

void ShowFromTray(QWidget* window) {
    if (window->parentWidget()) {
        window->setParent(nullptr, window->windowFlags() | Qt::Window);
    }
    AnimateRects(CurrentTrayRect(), window->frameGeometry());
    // A minimised window is still "visible" to Qt: show() alone leaves it iconic.
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
    window->update();
    window->activateWindow();
    window->raise();
}
