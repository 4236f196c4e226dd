#include "account/agency_comms.h"

#include "platform/qt/gui_thread.h"
#include "platform/sleep.h"
#include "service/app.h"
#include "service/main_frame.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace kovari {
namespace {

constexpr int kAnswerSize = 1024;
constexpr char kPlace[] = "CAgencyComms::IsURLBlocked";

void ResetIdleCount() {
    CPCAppApp* app = CPCAppApp::Current();
    if (app && app->MainFrame()) {
        app->MainFrame()->ResetIdleCount();
    }
}

} // namespace

std::uint64_t RatingMask(const std::string& answer) {
    std::string rest = answer.empty() ? std::string() : answer.substr(1);
    return std::uint64_t(std::strtoll(rest.c_str(), nullptr, 10));
}

CAgencyComms::CAgencyComms() : user_(this) {}

bool CAgencyComms::IsURLBlocked(const std::string& address) {
    ResetIdleCount();
    int local = user_.GetLocalDecision(address);
    if (local != LOCAL_DECISION_NONE) {
        return local == LOCAL_DECISION_DENY;
    }
    if (!user_.IsLoggedIn() || !connected_ || workers_ > 0) {
        int exitCode = 0;
        if (!RunLoginAndConnect(exitCode)) {
            AppLog(kPlace, "Unable to create login and connection thread", 1);
            return false;
        }
        if (exitCode != 0) {
            return true;
        }
        if (pendingAttach_.exchange(false)) {
            Attach(pendingSocket_);
        }
        user_.ShowLoginNotice();
    }
    local = user_.GetLocalDecision(address);
    if (local != LOCAL_DECISION_NONE) {
        return local == LOCAL_DECISION_DENY;
    }
    std::string query = "VRA 1.0:" + address;
    while (IsBlocking()) {
        AppLog(kPlace, "Blocked on Send", 3);
        Sleep(3);
    }
    if (Send(query.data(), int(query.size())) < 0) {
        RecordSocketError(LastError());
        Disconnect();
        return true;
    }
    while (IsBlocking()) {
        AppLog(kPlace, "Blocked on Receive", 3);
        Sleep(3);
    }
    std::string answer;
    if (!ReceiveAnswer(answer)) {
        RecordSocketError(LastError());
        Disconnect();
        return true;
    }
    AppLog("CAgencyComms::IsURLBlocked->Data From Agency", answer, 2);
    return user_.UserWantsBlock(RatingMask(answer));
}

bool CAgencyComms::RunLoginAndConnect(int& exitCode) {
    std::atomic<bool> done{false};
    ++workers_;
    try {
        std::thread worker([this, &exitCode, &done] {
            exitCode = LoginAndConnectThread();
            done = true;
            platform::WakeGuiThread();
        });
        platform::DispatchUntil([&] { return done.load(); });
        worker.join();
    } catch (const std::system_error&) {
        --workers_;
        return false;
    }
    --workers_;
    return true;
}

int CAgencyComms::LoginAndConnectThread() {
    std::lock_guard guard(lock_);
    if (!user_.IsLoggedIn()) {
        user_.Login(true, false);
    }
    if (!connected_) {
        if (!ConnectToAgency(user_.AgencyServer(), unsigned(user_.AgencyPort()))) {
            return 1;
        }
        pendingSocket_ = Detach();
    }
    return 0;
}

bool CAgencyComms::ConnectToAgency(const std::string& host, unsigned port) {
    const char* place = "CAgencyComms::ConnectToAgency()";
    if (!Create() || !Connect(host, port)) {
        AppLog(place, "Creating the socket failed.  Error = " + std::to_string(LastError()), 1);
        Close();
        return false;
    }
    if (!Initialize()) {
        AppLog("CAgencyComms::ConnectToAgency", "Unable to initiate connection.", 1);
        return false;
    }
    connected_ = true;
    pendingAttach_ = true;
    return true;
}

bool CAgencyComms::ReceiveAnswer(std::string& answer) {
    char buffer[kAnswerSize];
    int got = Receive(buffer, kAnswerSize);
    if (got < 0) {
        return false;
    }
    answer.assign(buffer, std::size_t(got));
    answer.resize(std::strlen(answer.c_str())); // the answer ends at its first NUL byte
    return true;
}

bool CAgencyComms::Exchange(const std::string& message, std::string& answer) {
    return Send(message.data(), int(message.size())) >= 0 && ReceiveAnswer(answer);
}

bool CAgencyComms::Initialize() {
    std::string answer;
    if (!ReceiveAnswer(answer) || !Exchange("VRA 1.0:USER " + user_.UserName(), answer) ||
        !Exchange("VRA 1.0:PASS " + user_.Password(), answer)) {
        RecordSocketError(LastError());
        Disconnect();
        return false;
    }
    if (!answer.empty() && answer[0] == '-') {
        AppLog("CAgencyComms::Initialize", "Error loggin into agency.  Error = " + answer, 1);
        Disconnect();
        return false;
    }
    return true;
}

void CAgencyComms::RecordSocketError(int) {
    if (connected_) {
        AppLog("CAgencyComms::RecordSocketError", LastErrorText(), 1);
    }
}

void CAgencyComms::Disconnect() {
    Close();
    connected_ = false;
}

} // namespace kovari
