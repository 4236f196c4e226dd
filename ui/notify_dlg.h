#pragma once
// The small notification window through which the service tells the person at
// the screen about events: one short HTML message at a time, near the end of
// the taskbar, always on top. Messages that arrive while one is shown wait in a
// queue and follow one after the other. The window exists only while a message
// is shown. Where the window cannot be placed near the taskbar (Wayland, or no
// taskbar strip to measure) and the desktop has a notification service, the
// same messages, queued the same way, go to that service instead.

#include "platform/qt/window_timers.h"

#include <QString>

#include <deque>
#include <memory>
#include <string>

class CDesktopNotifications;
class QDialog;
class QTextBrowser;

inline constexpr char kNotifyCaption[] = " Orvane Notification";

class CNotifyDlg {
  public:
    CNotifyDlg();
    ~CNotifyDlg();
    CNotifyDlg(const CNotifyDlg&) = delete;
    CNotifyDlg& operator=(const CNotifyDlg&) = delete;

    // Shows the HTML text for displayMs milliseconds (0: until closed), or
    // queues it while a notification window exists.
    void Show(unsigned displayMs, const std::string& html);

    // The page written into the window for a message.
    static std::string BuildPage(const std::string& html);

    // The window of the message being shown, or null.
    QDialog* Window() const;
    QTextBrowser* Browser() const { return browser_; }
    const std::deque<std::string>& Queue() const { return queue_; }
    // A message is being shown through the desktop's notification service.
    bool ShownByDesktop() const { return desktopShowing_; }

  private:
    class NotifyWindow;
    // Shows the message or queues it; queued messages come back here.
    void Display(unsigned displayMs, const std::string& html);
    void Create();
    bool DisplayByDesktop(unsigned displayMs, const std::string& html);
    void EndDisplay();

    std::deque<std::string> queue_;
    QTextBrowser* browser_ = nullptr;
    platform::UINT_PTR timer_ = 0;
    NotifyWindow* window_ = nullptr;
    std::unique_ptr<CDesktopNotifications> desktop_;
    bool desktopShowing_ = false;
    unsigned shown_ = 0; // counts the messages shown, so a late close of an earlier one is ignored
};
