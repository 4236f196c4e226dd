// The member's log-in and log-out sequences and filling the profile from the
// account server's login answer.

#include "account/agency_comms.h"
#include "account/answer_field.h"
#include "account/user.h"
#include "platform/qt/gui_thread.h"
#include "platform/registry.h"
#include "service/app.h"
#include "service/main_frame.h"
#include "ui/login_dlg.h"

#include <functional>

namespace {

constexpr char kSettingsKey[] = "Software\\Quellmark\\Settings";
constexpr int kCategoryCount = 64;
constexpr unsigned kLoginNoticeMs = 5000;

// Tray and timer calls belong to the main window's thread: made at once there,
// posted from the login worker.
void WithMainFrame(std::function<void(CMainFrame&)> call) {
    auto onFrame = [call = std::move(call)] {
        CPCAppApp* app = CPCAppApp::Current();
        if (app && app->MainFrame()) {
            call(*app->MainFrame());
        }
    };
    platform::RunOrPostToGuiThread(std::move(onFrame));
}

int RecordedPreferenceVersion() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "OverrideVersion", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? int(value) : 0;
}

int PopupModeFrom(const std::string& value) {
    if (value == "O" || value == "o") {
        return POPUP_BLOCKER_NOT_OFFERED;
    }
    return value == "Y" || value == "y" ? POPUP_BLOCKER_ON : POPUP_BLOCKER_OFF;
}

} // namespace

void CUser::Create(const std::string& answer) {
    std::string user = GetAnswerField(answer, "|user|");
    std::string password = GetAnswerField(answer, "|password|");
    std::uint64_t mask = 0;
    {
        std::lock_guard guard(lock_);
        loginAnswer_ = answer;
        userName_ = user;
        password_ = password;
        categoryMaskText_ = GetAnswerField(answer, "|catmask|");
        serverProof_ = GetAnswerField(answer, "|sid|");
        agencyServer_ = GetAnswerField(answer, "|agencyserver|");
        agencyPort_ = int(AnswerNumber(GetAnswerField(answer, "|agencyport|")));
        for (int bit = 0; bit < kCategoryCount && bit < int(categoryMaskText_.size()); ++bit) {
            if (categoryMaskText_[bit] == '1') {
                categoryMask_ |= std::uint64_t(1) << bit;
            }
        }
        mask = categoryMask_;
    }
    LogCategories("CUser::Create->Categories", mask);
    LoadMemberLists(answer, user, password);

    int mode = PopupModeFrom(GetAnswerField(answer, "|popupblocker|"));
    popupBlockerMode_ = mode;
    WithMainFrame([mode](CMainFrame& frame) { frame.SetPopupBlockerMode(mode); });
    appBlockTable_.Load(user, password, prefs_);

    std::lock_guard guard(lock_);
    loginMessage_ = GetAnswerField(answer, "|loginmessage|");
    loginMessageTime_ = int(AnswerNumber(GetAnswerField(answer, "|loginmessagetime|")));
}

// A changed preference version downloads the member's preferences; the
// member's own site lists apply only when the answer says so.
void CUser::LoadMemberLists(const std::string& answer, const std::string& user,
                            const std::string& password) {
    int version = int(AnswerNumber(GetAnswerField(answer, "|localoverridesver|")));
    {
        std::lock_guard guard(lock_);
        localOverridesVersion_ = version;
    }
    if (version != RecordedPreferenceVersion()) {
        prefs_.Download(user, password, version);
    }
    if (GetAnswerField(answer, "|localoverrides|") == "Y") {
        siteLists_.Load(user, password, prefs_);
    }
}

void CUser::ShowLoginNotice() {
    std::string text;
    int displayMs = 0;
    if (!TakeLoginMessage(text, displayMs)) {
        text = "User <B>" + UserName() + "</B><BR>has sucessfully logged in.";
        displayMs = kLoginNoticeMs;
    }
    platform::PostToGuiThread([text, displayMs] {
        if (CPCAppApp* app = CPCAppApp::Current()) {
            app->NotifyDlg().Show(unsigned(displayMs), text);
        }
    });
}

bool CUser::Login(bool allowSavedProfile, bool showNotice) {
    WithMainFrame([](CMainFrame& frame) {
        frame.SetTrayIcon(IDI_TRAY_LOGGING_IN);
        frame.SetTrayState(TRAY_STATE_LOGGING_IN, "");
    });
    std::string answer;
    if (RunLoginDialog(allowSavedProfile, answer)) {
        Create(answer);
        WithMainFrame([user = UserName()](CMainFrame& frame) {
            frame.SetTrayState(TRAY_STATE_LOGGED_IN, user);
            frame.StopIconAnimation();
            frame.SetTrayIcon(IDI_TRAY_LOGGED_IN);
            frame.StartIdleTimer();
        });
        if (showNotice) {
            ShowLoginNotice();
        }
    } else {
        WithMainFrame([](CMainFrame& frame) {
            frame.StopIconAnimation();
            frame.SetTrayIcon(IDI_TRAY_LOGGED_OUT);
            frame.SetTrayState(TRAY_STATE_LOGGED_OUT, "");
        });
    }
    WithMainFrame([](CMainFrame& frame) { frame.ClearHideAtFirstPaint(); });
    return true;
}

void CUser::Logout() {
    Reset();
    siteLists_.Load("*", "*", prefs_);
    appBlockTable_.Load("*", "*", prefs_);
    WithMainFrame([](CMainFrame& frame) {
        frame.SetTrayState(TRAY_STATE_LOGGED_OUT, "");
        frame.SetTrayIcon(IDI_TRAY_LOGGED_OUT);
        frame.EndIdleTimer();
    });
    if (ratingClient_) {
        ratingClient_->Disconnect();
    }
}
