// Starts the filter service in this process and photographs what the person at
// the screen sees: the tray icon and its menu, the notification window, the
// pop-up blocker settings dialog, the login dialog and the administrator window. Run on a
// desktop with a tray host (scripts/screenshots does it under Xvfb):
//
//   ui-gallery OUTPUT_FOLDER
//
// The registry folder (QUELLMARK_REGISTRY_DIR) must name an installation
// folder that holds resources/ and splash/.

#include "account/agency_comms.h"
#include "service/app.h"
#include "service/main_frame.h"
#include "ui/login_dlg.h"
#include "ui/popup_settings_dlg.h"
#include "ui/tray_animation.h"
#include "ui/tray_icons.h"

#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScreen>

#include <cstdio>
#include <string>

namespace {

// Lets the desktop draw for a while.
void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool Shoot(const std::string& folder, const char* name) {
    Settle(700);
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    std::string path = folder + "/" + name;
    bool saved = shot.save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

// The three tray pictures side by side, large, with their states named.
bool DrawIcons(const std::string& folder) {
    struct State {
        UINT icon;
        const char* name;
    };
    const State states[] = {{IDI_TRAY_LOGGED_OUT, "logged out"},
                            {IDI_TRAY_LOGGING_IN, "logging in"},
                            {IDI_TRAY_LOGGED_IN, "logged in"}};
    QPixmap sheet(3 * 120, 110);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (int i = 0; i < 3; ++i) {
        painter.drawPixmap(i * 120 + 36, 10, LoadTrayIcon(states[i].icon).pixmap(48, 48));
        painter.drawPixmap(i * 120 + 52, 66, LoadTrayIcon(states[i].icon).pixmap(16, 16));
        painter.drawText(QRect(i * 120, 86, 120, 20), Qt::AlignCenter, states[i].name);
    }
    std::string path = folder + "/tray-icons.png";
    bool saved = sheet.save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui-gallery OUTPUT_FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    CPCAppApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (!app.InitInstance()) {
        std::fprintf(stderr, "ui-gallery: the service could not start\n");
        return 1;
    }
    CMainFrame& frame = *app.MainFrame();
    CUser& user = app.RatingClient()->User();
    Settle(1500); // the tray host docks the icon; the frame hides at its first paint
    QRect icon = frame.Tray().IconGeometry();
    QPoint nearIcon = icon.isEmpty() ? QPoint(1000, 750) : icon.center();

    bool ok = DrawIcons(folder);
    app.NotifyDlg().Show(0, "User <B>anna</B><BR>has sucessfully logged in.");
    ok &= Shoot(folder, "notification.png");
    app.NotifyDlg().Window()->close();

    frame.SetTrayState(TRAY_STATE_LOGGED_IN, "anna");
    frame.SetTrayIcon(IDI_TRAY_LOGGED_IN);
    frame.SetPopupBlockerMode(100);
    QCursor::setPos(nearIcon);
    frame.Tray().OnTrayNotification(130, 0x0205); // right button up
    ok &= Shoot(folder, "tray-menu.png");
    frame.Tray().Menu()->hide();

    CPopupSettingsDlg settings(app.InstallFolder(), user.Prefs());
    settings.show();
    ok &= Shoot(folder, "popup-settings.png");
    settings.hide();

    CLoginDlg login;
    login.show();
    ok &= Shoot(folder, "login.png");
    login.NameBox()->lineEdit()->setText("a"); // as if typed
    emit login.NameBox()->lineEdit()->textEdited("a");
    ok &= Shoot(folder, "login-completion.png");
    login.hide();

    ShowFromTray(&frame);
    ok &= Shoot(folder, "administrator.png");
    HideToTray(&frame);
    app.ExitInstance();
    return ok ? 0 : 1;
}
