#pragma once
// The rating service client. It holds the member profile and decides the
// site questions of the local filter channel: the member's own allow and deny
// lists first, then the site's category mask from the rating service ("VRA
// 1.0" over one long-lived TCP connection) against the member's mask. When
// nobody is logged in or the connection is down, a worker thread logs the
// member in and connects while the user-interface thread keeps dispatching.

#include "account/user.h"
#include "platform/blocking_socket.h"

#include <atomic>
#include <mutex>
#include <string>

namespace kovari {

class CAgencyComms : public platform::BlockingSocket {
  public:
    CAgencyComms();

    // True when the member may not open the address.
    bool IsURLBlocked(const std::string& address);
    // Opens the connection and logs in to the rating service (worker thread).
    bool ConnectToAgency(const std::string& host, unsigned port);
    // The login exchange on a fresh connection.
    bool Initialize();
    // Logs the text of the last socket error while connected.
    void RecordSocketError(int code);
    // Closes the connection.
    void Disconnect();

    bool Connected() const { return connected_; }
    CUser& User() { return user_; }

  private:
    int LoginAndConnectThread();
    // Runs the worker and waits, dispatching events; false when it could not be started.
    bool RunLoginAndConnect(int& exitCode);
    bool Exchange(const std::string& message, std::string& answer);
    bool ReceiveAnswer(std::string& answer);

    CUser user_;
    std::atomic<bool> pendingAttach_{false};
    int pendingSocket_ = -1;
    std::mutex lock_;
    std::atomic<bool> connected_{false};
    std::atomic<int> workers_{0};
};

// The category mask of a rating answer: the status character is dropped and
// the rest read as a signed decimal 64-bit number (no digits give 0).
std::uint64_t RatingMask(const std::string& answer);

} // namespace kovari
