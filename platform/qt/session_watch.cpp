#include "platform/qt/session_watch.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <unistd.h>

namespace platform {
namespace {

constexpr char kService[] = "org.freedesktop.login1";
constexpr char kSessionInterface[] = "org.freedesktop.login1.Session";

} // namespace

SessionWatch::SessionWatch(QObject* parent) : QObject(parent) {}

bool SessionWatch::Start() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusInterface manager(kService, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           bus);
    QDBusReply<QDBusObjectPath> session =
        manager.call("GetSessionByPID", static_cast<uint>(::getpid()));
    if (!session.isValid()) {
        return false;
    }
    sessionPath_ = session.value().path();
    QDBusInterface properties(kService, sessionPath_, kSessionInterface, bus);
    sessionNumber_ = properties.property("Id").toString().toLongLong();
    active_ = ReadActive();
    return bus.connect(kService, sessionPath_, "org.freedesktop.DBus.Properties",
                       "PropertiesChanged", this,
                       SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
}

bool SessionWatch::ReadActive() const {
    QDBusInterface session(kService, sessionPath_, kSessionInterface, QDBusConnection::systemBus());
    return session.property("Active").toBool();
}

void SessionWatch::PropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                     const QStringList& invalidated) {
    if (interfaceName != kSessionInterface ||
        (!changed.contains("Active") && !invalidated.contains("Active"))) {
        return;
    }
    bool active = changed.contains("Active") ? changed.value("Active").toBool() : ReadActive();
    if (active == active_) {
        return;
    }
    active_ = active;
    emit sessionChange(active ? WTS_CONSOLE_CONNECT : WTS_CONSOLE_DISCONNECT, sessionNumber_);
}

} // namespace platform
