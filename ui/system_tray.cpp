#include "ui/system_tray.h"

#include "platform/qt/status_notifier.h"
#include "service/app.h"
#include "service/main_frame.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTimer>

namespace {

struct MenuItem {
    UINT command;
    const char* text;
};

// Menu resource 130, in resource order.
constexpr MenuItem kTrayMenu[] = {
    {ID_OPEN_ADMINISTRATOR, "Open Administrator"},
    {ID_LOGIN, "Login"},
    {ID_LOGOUT, "Logout"},
    {ID_SWITCH_USER, "Switch User"},
    {ID_POPUP_TOGGLE, "Enable Popup Blocker"},
    {ID_POPUP_SETTINGS, "Popup Blocker Settings..."},
};

constexpr int kTrayWatchMs = 2000;

UINT CommandOf(const QAction* action) {
    return action->data().toUInt();
}

} // namespace

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray() {
    DeleteTrayIcon();
    delete menu_;
}

bool CSystemTray::Create(QObject*, UINT, const std::string& tip, const QIcon& icon, UINT id,
                         bool hidden) {
    // Every desktop this runs on can show tray icons; a missing tray host is a
    // failed add, retried when a host appears.
    enabled_ = true;
    id_ = id;
    // Qt decides the same way, once, when the icon is made.
    statusNotifier_ = platform::StatusNotifierHostRegistered();
    icon_ = new QSystemTrayIcon(icon, this);
    icon_->setToolTip(QString::fromLocal8Bit(tip.substr(0, m_nMaxTooltipLength - 1).c_str()));
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Context && !statusNotifier_) {
                    OnTrayNotification(id_, WM_RBUTTONUP);
                } else if (why == QSystemTrayIcon::DoubleClick ||
                           (why == QSystemTrayIcon::Trigger && statusNotifier_)) {
                    // A StatusNotifier host activates the item on a single click.
                    OnTrayNotification(id_, WM_LBUTTONDBLCLK);
                }
            });
    hidden_ = hidden;
    bool added = false;
    if (!hidden) {
        added = AddIcon();
        hidden_ = removed_ = pending_ = !added;
    }
    menu_ = new QMenu();
    for (const MenuItem& item : kTrayMenu) {
        menu_->addAction(item.text)->setData(item.command);
    }
    connect(menu_, &QMenu::triggered, this,
            [this](QAction* action) { SendCommand(CommandOf(action)); });
    // Built afresh for the state before each display: by a StatusNotifier
    // host, which draws the menu exported over D-Bus (com.canonical.dbusmenu),
    // and by the administrator window's menu bar.
    connect(menu_, &QMenu::aboutToShow, this, &CSystemTray::PrepareMenu);
    if (statusNotifier_) {
        icon_->setContextMenu(menu_);
    }
    if (pending_) {
        AddAgainWhenTrayAppears();
    }
    return added;
}

bool CSystemTray::AddIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    icon_->show();
    return true;
}

// Watches for a tray host while the icon is wanted but could not be added. A
// host that restarts later is followed by Qt itself, which docks the icon again.
void CSystemTray::AddAgainWhenTrayAppears() {
    if (!trayWatch_) {
        trayWatch_ = new QTimer(this);
        connect(trayWatch_, &QTimer::timeout, this, [this] {
            if (!pending_) {
                trayWatch_->stop();
            } else if (AddIcon()) {
                hidden_ = removed_ = pending_ = false;
                trayWatch_->stop();
            }
        });
    }
    trayWatch_->start(kTrayWatchMs);
}

bool CSystemTray::SetTrayIcon(const QIcon& icon) {
    if (!enabled_) {
        return false;
    }
    icon_->setIcon(icon);
    return true;
}

bool CSystemTray::SetTrayIcon(UINT resourceId) {
    return SetTrayIcon(LoadTrayIcon(resourceId));
}

bool CSystemTray::DeleteTrayIcon() {
    pending_ = false;
    if (!enabled_ || removed_) {
        return true;
    }
    icon_->hide();
    hidden_ = removed_ = true;
    return removed_;
}

// No animation is ever started, so there is no saved picture to put back.
void CSystemTray::StopIconAnimation() {}

bool CSystemTray::SetMenuDefaultItem(UINT item, bool byPosition) {
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
    return true;
}

void CSystemTray::SetTrayState(int state, const std::string& userName) {
    trayState_ = state;
    userName_ = userName;
}

QString CSystemTray::Tip() const {
    return icon_ ? icon_->toolTip() : QString();
}

QRect CSystemTray::IconGeometry() const {
    return icon_ && !hidden_ ? icon_->geometry() : QRect();
}

void CSystemTray::RemoveItem(UINT command) {
    for (QAction* action : menu_->actions()) {
        if (CommandOf(action) == command) {
            menu_->removeAction(action);
            delete action;
            return;
        }
    }
}

void CSystemTray::InsertAtTop(const QString& text, UINT command) {
    auto* action = new QAction(text, menu_);
    action->setData(command);
    QList<QAction*> actions = menu_->actions();
    menu_->insertAction(actions.isEmpty() ? nullptr : actions.first(), action);
}

void CSystemTray::AdjustMenu() {
    switch (trayState_) {
    case TRAY_STATE_LOGGED_IN:
        for (UINT command :
             {ID_LOGIN, ID_LOGOUT, ID_SWITCH_USER, ID_POPUP_TOGGLE, ID_POPUP_SETTINGS}) {
            RemoveItem(command);
        }
        InsertAtTop(QString("Logout: ") + QString::fromLocal8Bit(userName_.c_str()), ID_LOGOUT);
        InsertAtTop("Switch User", ID_SWITCH_USER);
        SetMenuDefaultItem(ID_OPEN_ADMINISTRATOR, false);
        if (popupBlockerMode_ == 100 || popupBlockerMode_ == 101) {
            InsertAtTop(popupBlockerMode_ == 100 ? "Disable Popup Blocker" : "Enable Popup Blocker",
                        ID_POPUP_TOGGLE);
            InsertAtTop("Popup Blocker Settings...", ID_POPUP_SETTINGS);
        }
        break;
    case TRAY_STATE_LOGGED_OUT:
        for (UINT command :
             {ID_LOGIN, ID_LOGOUT, ID_SWITCH_USER, ID_POPUP_TOGGLE, ID_POPUP_SETTINGS}) {
            RemoveItem(command);
        }
        InsertAtTop("Login", ID_LOGIN);
        SetMenuDefaultItem(ID_OPEN_ADMINISTRATOR, false);
        break;
    case TRAY_STATE_LOGGING_IN:
        RemoveItem(ID_LOGIN);
        [[fallthrough]];
    case TRAY_STATE_STARTED:
        for (UINT command : {ID_LOGOUT, ID_SWITCH_USER, ID_POPUP_TOGGLE, ID_POPUP_SETTINGS}) {
            RemoveItem(command);
        }
        SetMenuDefaultItem(ID_OPEN_ADMINISTRATOR, false);
        break;
    default:
        break;
    }
}

void CSystemTray::PrepareMenu() {
    AdjustMenu();
    UINT command = DefaultCommand();
    QAction* chosen = nullptr;
    for (QAction* action : menu_->actions()) {
        if (CommandOf(action) == command) {
            chosen = action;
        }
    }
    menu_->setDefaultAction(chosen);
}

UINT CSystemTray::DefaultCommand() const {
    if (!defaultByPosition_) {
        return defaultItem_;
    }
    QList<QAction*> actions = menu_->actions();
    return defaultItem_ < static_cast<UINT>(actions.size()) ? CommandOf(actions[defaultItem_]) : 0;
}

void CSystemTray::SendCommand(UINT command) {
    CPCAppApp* app = CPCAppApp::Current();
    if (app && app->MainFrame() && command != 0) {
        app->MainFrame()->WindowProc(WM_COMMAND, command, 0);
    }
}

LRESULT CSystemTray::OnTrayNotification(WPARAM id, LPARAM mouseMessage) {
    if (id != id_ || !menu_) {
        return 0;
    }
    if (mouseMessage == WM_RBUTTONUP) {
        PrepareMenu();
        menu_->popup(QCursor::pos());
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        SendCommand(DefaultCommand());
    }
    return 0;
}
