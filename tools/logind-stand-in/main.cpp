// Stands in for the desktop's session manager (logind) on a private bus, for
// tests of the fast-user-switch handling. It owns org.freedesktop.login1 on
// the bus named by DBUS_SYSTEM_BUS_ADDRESS, answers GetSessionByPID with its
// one session, and switches that session's Active property on the commands
// it reads from standard input, one per line: "active" or "inactive".
//
//   logind-stand-in      (prints "ready" once the name is owned)

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr char kSessionPath[] = "/org/freedesktop/login1/session/_31";

class Manager : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public:
    explicit Manager(QObject* parent) : QDBusAbstractAdaptor(parent) {}

  public slots:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

class Session : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(bool Active READ Active)
  public:
    explicit Session(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    QString Id() const { return "1"; }
    bool Active() const { return active_; }

    void SetActive(bool active) {
        active_ = active;
        QDBusMessage changed = QDBusMessage::createSignal(
            kSessionPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
        changed << QString("org.freedesktop.login1.Session") << QVariantMap{{"Active", active}}
                << QStringList();
        QDBusConnection::systemBus().send(changed);
    }

  private:
    bool active_ = true;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    QObject managerObject;
    QObject sessionObject;
    new Manager(&managerObject);
    auto* session = new Session(&sessionObject);
    if (!bus.registerObject("/org/freedesktop/login1", &managerObject) ||
        !bus.registerObject(kSessionPath, &sessionObject) ||
        !bus.registerService("org.freedesktop.login1")) {
        std::fprintf(stderr, "logind-stand-in: cannot serve on the bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string command;
        do {
            if (!std::getline(std::cin, command)) {
                app.quit();
                return;
            }
            if (command == "active" || command == "inactive") {
                session->SetActive(command == "active");
            }
        } while (std::cin.rdbuf()->in_avail() > 0);
    });
    return app.exec();
}

#include "main.moc"
