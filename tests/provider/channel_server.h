#pragma once
// A stand-in for the filter service's channel in tests: it listens on
// 127.0.0.1:4100, shows the service's presence ("VRA_Class") while it runs,
// and answers each request (one receive) with what the test's script says.
// Tests that use it carry the kovari_port resource lock. Connections it still
// holds when it stops are reset, so no closed connection of its own keeps the
// port in TIME_WAIT for the real service that a later test starts.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {

struct ChannelAction {
    enum Kind { Reply, Close, Reset } kind = Reply;
    std::string reply;
};

// A listener on 127.0.0.1:port (address reused, backlog 16), or -1.
int ListenOnLoopbackPort(std::uint16_t port);

class ChannelServer {
  public:
    using Script = std::function<ChannelAction(const std::string& request)>;

    // presence false: no "VRA_Class"; port false: nobody listens on 4100.
    explicit ChannelServer(Script script, bool presence = true, bool port = true);
    ~ChannelServer();
    ChannelServer(const ChannelServer&) = delete;
    ChannelServer& operator=(const ChannelServer&) = delete;

    bool Listening() const { return listenFd_ >= 0; }
    int Connections();
    // Requests in arrival order, each with the number of its connection (from 1).
    std::vector<std::pair<int, std::string>> Requests();
    // The bytes of each receive, as they came.
    std::vector<std::string> Received();

  private:
    void Run();
    bool Serve(int fd, int number);

    Script script_;
    int listenFd_ = -1;
    int presenceFd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::mutex lock_;
    int connections_ = 0;
    std::vector<std::pair<int, std::string>> requests_;
    std::vector<std::string> received_;
};

// Answers site requests with a fixed two-letter reply and program requests
// with a fixed four-letter one.
ChannelServer::Script FixedReplies(std::string site, std::string program);

} // namespace qmtest
