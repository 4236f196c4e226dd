#include "service/app.h"

#include "account/agency_comms.h"
#include "platform/channel_port.h"
#include "platform/presence.h"
#include "platform/qt/gui_thread.h"
#include "platform/registry.h"
#include "platform/system_install.h"
#include "service/block_page_server.h"
#include "service/data_folder_check.h"
#include "service/lsp_comms.h"
#include "service/main_frame.h"
#include "service/registry_values.h"
#include "service/service_constants.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr const char kSettingsKey[] = "Software\\Quellmark\\Settings";
constexpr DWORD kDirBufferSize = 255;

} // namespace

CPCAppApp::CPCAppApp(int& argc, char** argv) : QApplication(argc, argv) {}

CPCAppApp::~CPCAppApp() {
    if (listener_) {
        listener_->Stop(); // its thread answers from the rating client, which ends first
    }
}

CPCAppApp* CPCAppApp::Current() {
    return qobject_cast<CPCAppApp*>(QCoreApplication::instance());
}

bool CPCAppApp::InitInstance() {
    DWORD lastError = ERROR_SUCCESS;
    if (platform::CreateNamedMutex(kMutexName, &lastError) < 0 || lastError != ERROR_SUCCESS) {
        return false; // another copy runs: end silently
    }
    osVersion_.dwOSVersionInfoSize = sizeof osVersion_;
    platform::GetVersionExA(&osVersion_);

    ratingClient_ = std::make_unique<kovari::CAgencyComms>();
    listener_ = new CLSPComms(this);
    listener_->Initialize(platform::ChannelPort(), kChannelAddress, ratingClient_.get());

    if (ReadSettings()) {
        ratingClient_->User().LoadStartupLists();
    }
    blockPageServer_ = StartBlockPageServer(ratingClient_->User());

    mainFrame_ = std::make_unique<CMainFrame>(this);
    mainFrame_->show();
    ReportUnwritableData(*this);

    RegisterFastUserSwitch();
    Log("CPCAppApp::InitInstance", "Application started", 2);
    return true;
}

int CPCAppApp::ExitInstance() {
    Log("CPCAppApp::exitInstance", "Application terminating", 2);
    return 0;
}

bool CPCAppApp::ReadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        installFolder_ = kDefaultInstallFolder;
        return false;
    }
    if (!ReadStringValue(key, "Dir", kDirBufferSize, installFolder_)) {
        installFolder_ = kDefaultInstallFolder;
    }
    installFolder_ = platform::InstallFolderFor(installFolder_);
    RegCloseKey(key);

    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        logLevel_ = 0;
        return false;
    }
    logLevel_ = ReadDwordValue(key, "DebugLevel");
    RegCloseKey(key);
    return true;
}

bool CPCAppApp::RegisterFastUserSwitch() {
    sessionLibrary_ = false;
    // Versions are compared as versions: a 6.0 system has session notifications.
    if (!platform::VersionAtLeast(osVersion_, 5, 1)) {
        return false;
    }
    sessionLibrary_ = platform::SessionNotificationsAvailable();
    if (!sessionLibrary_) {
        return false;
    }
    Log("CPCAppApp::InitInstance", "Registering the Fast User Switch message", 3);
    return mainFrame_->RegisterSessionNotification();
}

void CPCAppApp::Log(std::string_view place, std::string_view text, unsigned level) const {
    if (level > LogLevel()) {
        return;
    }
    std::FILE* file = std::fopen((installFolder_ + "/Logs/AppLog.txt").c_str(), "a");
    if (!file) {
        return;
    }
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S", &local);
    std::fprintf(file, "%s-> %.*s - %.*s\n", stamp, int(place.size()), place.data(),
                 int(text.size()), text.data());
    std::fclose(file);
}

void AppLog(std::string_view place, std::string_view text, unsigned level) {
    if (CPCAppApp* app = CPCAppApp::Current()) {
        app->Log(place, text, level);
    }
}

namespace {

thread_local CollectedNotifications* tCollecting = nullptr;

void ShowNotification(unsigned displayMs, const std::string& html) {
    if (CPCAppApp* app = CPCAppApp::Current()) {
        app->NotifyDlg().Show(displayMs, html);
    }
}

} // namespace

void AppNotify(unsigned displayMs, const std::string& html) {
    if (tCollecting) {
        tCollecting->messages_.emplace_back(displayMs, html);
        return;
    }
    platform::RunOrPostToGuiThread([displayMs, html] { ShowNotification(displayMs, html); });
}

CollectedNotifications::CollectedNotifications() : outer_(tCollecting) {
    tCollecting = this;
}

CollectedNotifications::~CollectedNotifications() {
    tCollecting = outer_;
}

void CollectedNotifications::ShowThen(std::function<void()> then) {
    platform::PostToGuiThread([messages = std::move(messages_), then = std::move(then)] {
        for (const auto& [displayMs, html] : messages) {
            ShowNotification(displayMs, html);
        }
        then();
    });
}
