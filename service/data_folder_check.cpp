#include "service/data_folder_check.h"

#include "platform/qt/gui_thread.h"
#include "platform/system_install.h"
#include "service/app.h"
#include "ui/notify_dlg.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr unsigned kNotifyMs = 10000;
constexpr char kStartupPlace[] = "CPCAppApp::InitInstance";
std::atomic<bool> gTold{false};

// The problem with writing into `folder`, or "" when it can be written.
std::string WriteProblem(const std::string& what, const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) == 0) {
        return {};
    }
    return what + " cannot be written in " + folder + ": " + std::strerror(errno);
}

} // namespace

void ReportUnwritableData(CPCAppApp& app) {
    if (!platform::SystemWideInstall().filtered) {
        return;
    }
    const std::string& dir = app.InstallFolder();
    for (const std::string& problem :
         {WriteProblem("user.prefs", dir), WriteProblem("The log", dir + "/Logs")}) {
        if (!problem.empty()) {
            ReportDataWriteFailure(kStartupPlace, problem);
        }
    }
}

void ReportDataWriteFailure(const std::string& place, const std::string& problem) {
    CPCAppApp* app = CPCAppApp::Current();
    if (!app) {
        return;
    }
    app->Log(place, problem, 1);
    std::fprintf(stderr, "KOVARI: %s\n", problem.c_str());
    if (gTold.exchange(true)) {
        return;
    }
    std::string text = "The filter cannot save<BR>its settings or its log in<BR><B>" +
                       app->InstallFolder() + "</B>";
    platform::PostToGuiThread([text] {
        if (CPCAppApp* current = CPCAppApp::Current()) {
            current->NotifyDlg().Show(kNotifyMs, text);
        }
    });
}
