#pragma once
// Session change notifications (fast user switch) from the desktop's session
// manager, logind, over the system bus. While the session this process runs in
// is the active one and then stops being it, sessionChange arrives with the
// console-disconnect code 2; when it becomes active again, with the connect code 1.

#include "platform/wintypes.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform {

constexpr WPARAM WTS_CONSOLE_CONNECT = 1;
constexpr WPARAM WTS_CONSOLE_DISCONNECT = 2;

class SessionWatch : public QObject {
    Q_OBJECT
  public:
    explicit SessionWatch(QObject* parent = nullptr);

    // Finds this process's session and subscribes to its changes; false when
    // there is no system bus, no logind or no session for the process.
    bool Start();

  signals:
    void sessionChange(WPARAM code, LPARAM sessionNumber);

  private slots:
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                           const QStringList& invalidated);

  private:
    bool ReadActive() const;

    QString sessionPath_;
    LPARAM sessionNumber_ = 0;
    bool active_ = false;
};

} // namespace platform
