#pragma once
// The desktop's own notification service (org.freedesktop.Notifications on
// the session bus). The service's messages go there where its notification
// window cannot be placed near the taskbar: on Wayland, where a program
// cannot place its windows, and where no taskbar strip can be measured.

#include <QObject>

#include <functional>
#include <string>

class CDesktopNotifications : public QObject {
    Q_OBJECT
  public:
    // True when the session bus has a notification service running.
    static bool Available();

    // Sends one message as plain text that expires after displayMs
    // milliseconds (0: stays until the person closes it). `closed` runs when
    // the service reports this message closed. False when the service did
    // not take it.
    bool Send(const std::string& html, unsigned displayMs, std::function<void()> closed);

    // The message's text without HTML tags: "<BR>" becomes a line break.
    static std::string PlainText(const std::string& html);

  private slots:
    void OnClosed(uint id, uint reason);

  private:
    bool connected_ = false;
    uint id_ = 0;
    std::function<void()> closed_;
};
