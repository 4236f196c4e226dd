#pragma once
// The filter service's application object: single-instance start-up, settings,
// the log every part of the service writes through, and the long-lived objects.

#include "platform/os_version.h"
#include "ui/notify_dlg.h"

#include <QApplication>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CBlockPageServer;
class CLSPComms;
class CMainFrame;
namespace kovari {
class CAgencyComms;
}

class CPCAppApp : public QApplication {
    Q_OBJECT
  public:
    CPCAppApp(int& argc, char** argv);
    ~CPCAppApp() override;

    // The running application object, or null when there is none (unit tests).
    static CPCAppApp* Current();

    bool InitInstance();
    int ExitInstance();

    // Writes "time-> place - text" to Dir/Logs/AppLog.txt when level <= DebugLevel.
    // Any thread may log; a level that is not logged costs one comparison.
    void Log(std::string_view place, std::string_view text, unsigned level) const;

    // Reads Dir and DebugLevel from the registry; true when both settings keys
    // exist, so that the start-up lists are to be loaded.
    bool ReadSettings();

    const std::string& InstallFolder() const { return installFolder_; }
    unsigned LogLevel() const { return logLevel_.load(std::memory_order_relaxed); }
    const OSVERSIONINFOA& OsVersion() const { return osVersion_; }
    bool SessionLibraryLoaded() const { return sessionLibrary_; }
    void ClearSessionLibrary() { sessionLibrary_ = false; }
    CLSPComms* Listener() const { return listener_; }
    kovari::CAgencyComms* RatingClient() const { return ratingClient_.get(); }
    CNotifyDlg& NotifyDlg() { return notifyDlg_; }
    CMainFrame* MainFrame() const { return mainFrame_.get(); }

  private:
    bool RegisterFastUserSwitch();

    CNotifyDlg notifyDlg_;
    std::string installFolder_;
    CLSPComms* listener_ = nullptr;
    std::unique_ptr<kovari::CAgencyComms> ratingClient_;
    // Reads the member profile's blocked sites: ends before the rating client.
    std::unique_ptr<CBlockPageServer> blockPageServer_;
    OSVERSIONINFOA osVersion_{};
    bool sessionLibrary_ = false;
    std::atomic<unsigned> logLevel_{0};
    std::unique_ptr<CMainFrame> mainFrame_;
};

// Logs through the running application object; nothing without one.
void AppLog(std::string_view place, std::string_view text, unsigned level);
// Shows a message in the notification window from any thread: at once on the
// user-interface thread, otherwise posted to it (or collected, see below).
// Nothing without an application.
void AppNotify(unsigned displayMs, const std::string& html);

// While one lives on a thread, AppNotify there collects the messages instead
// of posting them: the channel's thread has them shown before it sends the
// reply whose decision caused them.
class CollectedNotifications {
  public:
    CollectedNotifications();
    ~CollectedNotifications();
    CollectedNotifications(const CollectedNotifications&) = delete;
    CollectedNotifications& operator=(const CollectedNotifications&) = delete;

    bool Empty() const { return messages_.empty(); }
    // On the user-interface thread: shows the messages, then runs `then`.
    void ShowThen(std::function<void()> then);

  private:
    friend void AppNotify(unsigned displayMs, const std::string& html);
    std::vector<std::pair<unsigned, std::string>> messages_;
    CollectedNotifications* outer_;
};
