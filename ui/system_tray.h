#pragma once
// The service's icon in the notification area: its picture tells the login
// state, and its menu (resource 130) is edited before each display by the tray
// state and the member's pop-up blocker mode. Menu commands go to the
// application's main window as WM_COMMAND.

#include "platform/wintypes.h"
#include "ui/tray_icons.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <string>

class QMenu;
class QTimer;

// Tray icons and tray states of the member's login.
constexpr UINT IDI_TRAY_LOGGED_IN = 130;
constexpr UINT IDI_TRAY_LOGGING_IN = 131;
constexpr UINT IDI_TRAY_LOGGED_OUT = 133;
constexpr int TRAY_STATE_LOGGED_IN = 1;
constexpr int TRAY_STATE_LOGGED_OUT = 2;
constexpr int TRAY_STATE_STARTED = 3;
constexpr int TRAY_STATE_LOGGING_IN = 4;

// Commands of menu resource 130.
constexpr UINT ID_OPEN_ADMINISTRATOR = 32771;
constexpr UINT ID_LOGIN = 32772;
constexpr UINT ID_SWITCH_USER = 32775;
constexpr UINT ID_LOGOUT = 32776;
constexpr UINT ID_POPUP_SETTINGS = 32793;
constexpr UINT ID_POPUP_TOGGLE = 32794;

// Mouse messages carried by the tray's callback message.
constexpr LPARAM WM_LBUTTONDBLCLK = 0x0203;
constexpr LPARAM WM_RBUTTONUP = 0x0205;
constexpr UINT WM_COMMAND = 0x0111;

class CSystemTray : public QObject {
    Q_OBJECT
  public:
    static constexpr int m_nMaxTooltipLength = 128;

    CSystemTray();
    ~CSystemTray() override;

    // Adds the icon with its tip (at most 127 characters) and loads the menu of
    // resource id; true when the icon reached the tray.
    bool Create(QObject* parent, UINT callbackMessage, const std::string& tip, const QIcon& icon,
                UINT id, bool hidden);
    bool SetTrayIcon(const QIcon& icon);
    bool SetTrayIcon(UINT resourceId);
    bool DeleteTrayIcon();
    void StopIconAnimation();
    bool SetMenuDefaultItem(UINT item, bool byPosition);

    void SetTrayState(int state, const std::string& userName);
    int TrayState() const { return trayState_; }
    void SetPopupBlockerMode(int mode) { popupBlockerMode_ = mode; }
    int PopupBlockerMode() const { return popupBlockerMode_; }

    // The callback message: wParam the icon id, lParam the mouse message.
    LRESULT OnTrayNotification(WPARAM id, LPARAM mouseMessage);
    // Edits the menu for the tray state and pop-up blocker mode (before each display).
    void AdjustMenu();
    // AdjustMenu, then the default item made the menu's default action.
    void PrepareMenu();
    // The icon is a StatusNotifierItem (its menu exported over D-Bus), not
    // an XEmbed tray icon.
    bool StatusNotifier() const { return statusNotifier_; }

    QMenu* Menu() const { return menu_; }
    QString Tip() const;
    // The icon's rectangle on the screen, or an empty one when the tray host
    // does not tell it.
    QRect IconGeometry() const;
    bool Hidden() const { return hidden_; }
    bool Pending() const { return pending_; }

  private:
    void RemoveItem(UINT command);
    void InsertAtTop(const QString& text, UINT command);
    UINT DefaultCommand() const;
    void SendCommand(UINT command);
    bool AddIcon();
    void AddAgainWhenTrayAppears();

    QMenu* menu_ = nullptr;
    int trayState_ = 0;
    int popupBlockerMode_ = 0;
    std::string userName_;
    QSystemTrayIcon* icon_ = nullptr;
    UINT id_ = 0;
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = false;
    bool pending_ = false;
    bool statusNotifier_ = false;
    UINT defaultItem_ = 0;
    bool defaultByPosition_ = true;
    QTimer* trayWatch_ = nullptr;
};
