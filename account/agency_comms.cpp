#include "account/agency_comms.h"

#include "platform/qt/gui_thread.h"
#include "platform/registry.h"
#include "service/app.h"
#include "service/main_frame.h"
#include "service/registry_values.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kovari {
namespace {

constexpr int kAnswerSize = 1024;
constexpr int kDefaultTimeoutMs = 5000;
constexpr char kPlace[] = "CAgencyComms::IsURLBlocked";

void ResetIdleCount() {
    CPCAppApp* app = CPCAppApp::Current();
    if (app && app->MainFrame()) {
        app->MainFrame()->ResetIdleCount();
    }
}

} // namespace

int RatingTimeoutMs() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return kDefaultTimeoutMs;
    }
    DWORD value = ReadDwordValue(key, "RatingTimeout");
    RegCloseKey(key);
    // 0 (or missing) would mean waiting for ever: the default applies.
    return value == 0 || value > 3600000 ? kDefaultTimeoutMs : int(value);
}

std::uint64_t RatingMask(const std::string& answer) {
    std::string rest = answer.empty() ? std::string() : answer.substr(1);
    return std::uint64_t(std::strtoll(rest.c_str(), nullptr, 10));
}

CAgencyComms::CAgencyComms() : user_(this) {}

bool CAgencyComms::DecideByLists(const std::string& address, bool& blocked) {
    ResetIdleCount();
    int local = user_.GetLocalDecision(address);
    blocked = local == LOCAL_DECISION_DENY;
    return local != LOCAL_DECISION_NONE;
}

bool CAgencyComms::IsURLBlocked(const std::string& address) {
    bool blocked = false;
    if (DecideByLists(address, blocked)) {
        return blocked;
    }
    const std::uint64_t failuresBefore = failures_;
    WaitForExchange();
    if (connected_ && workers_ == 0 && Peek() == Waiting::Closed) {
        Disconnect(); // the rating service closed the idle connection: connect afresh
    }
    if (!user_.IsLoggedIn() || !connected_ || workers_ > 0) {
        if (failures_ != failuresBefore) {
            return true;
        }
        int exitCode = 0;
        if (!RunLoginAndConnect(exitCode, failuresBefore)) {
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
    int local = user_.GetLocalDecision(address);
    if (local != LOCAL_DECISION_NONE) {
        return local == LOCAL_DECISION_DENY;
    }
    return Rate(address);
}

void CAgencyComms::WaitForExchange() {
    if (exchanging_) {
        AppLog(kPlace, "Blocked on Send", 3);
        platform::DispatchUntil([this] { return !exchanging_.load(); });
    }
}

bool CAgencyComms::Rate(const std::string& address) {
    WaitForExchange();
    if (!connected_) {
        return true; // a query that ran meanwhile failed and closed the connection
    }
    std::string query = "VRA 1.0:" + address;
    std::string answer;
    bool answered = false;
    exchanging_ = true;
    platform::RunAsideWhileDispatching([&] {
        answered = Query(query, answer);
        if (!answered) {
            RecordSocketError(LastError());
            Disconnect();
            ++failures_;
        }
        exchanging_ = false;
    });
    if (!answered) {
        return true;
    }
    AppLog("CAgencyComms::IsURLBlocked->Data From Agency", answer, 2);
    return user_.UserWantsBlock(RatingMask(answer), address);
}

bool CAgencyComms::Query(const std::string& query, std::string& answer) {
    if (Peek() != Waiting::Nothing) {
        NoteError(EPROTO); // bytes left over from an earlier answer, or a closed connection
        return false;
    }
    if (Send(query.data(), int(query.size())) < 0 || !ReceiveAnswer(answer)) {
        return false;
    }
    if (Peek() == Waiting::Closed) {
        NoteError(ECONNRESET); // the answer may have been cut off by the close
        return false;
    }
    return true;
}

bool CAgencyComms::RunLoginAndConnect(int& exitCode, std::uint64_t failuresBefore) {
    std::atomic<bool> done{false};
    ++workers_;
    try {
        std::thread worker([this, &exitCode, &done, failuresBefore] {
            exitCode = LoginAndConnectThread(failuresBefore);
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

int CAgencyComms::LoginAndConnectThread(std::uint64_t failuresBefore) {
    std::lock_guard guard(lock_);
    if (failures_ != failuresBefore && !connected_) {
        return 1; // an attempt made while this one waited has failed already
    }
    if (!user_.IsLoggedIn()) {
        user_.Login(true, false);
    }
    if (!connected_) {
        if (!ConnectToAgency(user_.AgencyServer(), unsigned(user_.AgencyPort()))) {
            ++failures_;
            return 1;
        }
        pendingSocket_ = Detach();
    }
    return 0;
}

bool CAgencyComms::ConnectToAgency(const std::string& host, unsigned port) {
    const char* place = "CAgencyComms::ConnectToAgency()";
    SetTimeout(RatingTimeoutMs());
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
    if (got <= 0) {
        if (got == 0) {
            NoteError(ECONNRESET); // closed instead of answering
        }
        return false;
    }
    if (got == kAnswerSize) {
        NoteError(EMSGSIZE); // the rest would be read as the next answer
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
