#include "ui/desktop_notifications.h"

#include "ui/notify_dlg.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QVariantMap>

#include <cctype>

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr int kCallTimeoutMs = 2000;

} // namespace

bool CDesktopNotifications::Available() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(kService).value();
}

std::string CDesktopNotifications::PlainText(const std::string& html) {
    std::string text;
    for (std::size_t i = 0; i < html.size();) {
        if (html[i] != '<') {
            text += html[i++];
            continue;
        }
        std::size_t end = html.find('>', i);
        if (end == std::string::npos) {
            text += html.substr(i);
            break;
        }
        std::string tag = html.substr(i + 1, end - i - 1);
        for (char& c : tag) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
        }
        if (tag == "BR" || tag == "BR/" || tag == "BR /") {
            text += '\n';
        }
        i = end + 1;
    }
    return text;
}

bool CDesktopNotifications::Send(const std::string& html, unsigned displayMs,
                                 std::function<void()> closed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connected_) {
        connected_ = bus.connect(kService, kPath, kService, "NotificationClosed", this,
                                 SLOT(OnClosed(uint, uint)));
    }
    QDBusInterface notifications(kService, kPath, kService, bus);
    notifications.setTimeout(kCallTimeoutMs);
    QString caption = QString(kNotifyCaption).trimmed();
    QDBusReply<uint> reply =
        notifications.call("Notify", QString("Quellmark"), uint(0), QString(), caption,
                           QString::fromLocal8Bit(PlainText(html).c_str()), QStringList(),
                           QVariantMap(), displayMs == 0 ? 0 : int(displayMs));
    if (!reply.isValid()) {
        return false;
    }
    id_ = reply.value();
    closed_ = std::move(closed);
    return true;
}

void CDesktopNotifications::OnClosed(uint id, uint) {
    if (id != id_ || !closed_) {
        return;
    }
    id_ = 0;
    auto closed = std::move(closed_);
    closed_ = nullptr;
    closed();
}
