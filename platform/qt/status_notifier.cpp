#include "platform/qt/status_notifier.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>

namespace platform {

bool StatusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusInterface properties("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                              "org.freedesktop.DBus.Properties", bus);
    QDBusReply<QDBusVariant> reply =
        properties.call("Get", "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered");
    return reply.isValid() && reply.value().variant().toBool();
}

} // namespace platform
