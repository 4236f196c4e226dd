#pragma once
// The rating service client. It holds the member profile and decides the
// site questions of the local filter channel: the member's own allow and deny
// lists first, then the site's category mask from the rating service ("VRA
// 1.0" over one long-lived TCP connection) against the member's mask. When
// nobody is logged in or the connection is down, a worker thread logs the
// member in and connects while the user-interface thread keeps dispatching.
// Every exchange with the rating service (connect, login exchange, query) is
// bounded by the machine setting RatingTimeout and runs off the
// user-interface thread, so program questions and list decisions never wait
// on the rating service; the channel's thread decides by the lists itself
// (DecideByLists) and hands only the rest to IsURLBlocked. An answer that is empty, cut off or too
// long, bytes left unread before a query, or a time-out block the address and close the connection;
// the next question connects afresh.

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
    // How IsURLBlocked begins, safe on any thread and never waiting: counts the
    // question as activity and decides the address by the member's lists
    // alone; false when they do not decide it.
    bool DecideByLists(const std::string& address, bool& blocked);
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
    // failuresBefore: the failure count when the question arrived. A question
    // that waited while a connection attempt or query failed shares that
    // failure instead of trying again.
    int LoginAndConnectThread(std::uint64_t failuresBefore);
    // Runs the worker and waits, dispatching events; false when it could not be started.
    bool RunLoginAndConnect(int& exitCode, std::uint64_t failuresBefore);
    // Sends the query and reads its answer off the user-interface thread; true = block.
    bool Rate(const std::string& address);
    bool Query(const std::string& query, std::string& answer);
    // Dispatches events while another question's query is under way.
    void WaitForExchange();
    bool Exchange(const std::string& message, std::string& answer);
    // One answer; false on failure, a closed connection, or an answer that
    // fills the whole buffer (more may be waiting).
    bool ReceiveAnswer(std::string& answer);

    CUser user_;
    std::atomic<bool> pendingAttach_{false};
    int pendingSocket_ = -1;
    std::mutex lock_;
    std::atomic<bool> connected_{false};
    std::atomic<int> workers_{0};
    std::atomic<bool> exchanging_{false};
    std::atomic<std::uint64_t> failures_{0};
};

// The machine's RatingTimeout setting in milliseconds (default 5000).
int RatingTimeoutMs();

// The category mask of a rating answer: the status character is dropped and
// the rest read as a signed decimal 64-bit number (no digits give 0).
std::uint64_t RatingMask(const std::string& answer);

} // namespace kovari
