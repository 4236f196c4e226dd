#pragma once
// A plain TCP client of the local filter channel (127.0.0.1:4100) for tests:
// send a request, read the reply with a time limit.

#include <cstdint>
#include <string>

namespace qmtest {

class ChannelClient {
  public:
    explicit ChannelClient(std::uint16_t port = 4100);
    ~ChannelClient();
    ChannelClient(const ChannelClient&) = delete;
    ChannelClient& operator=(const ChannelClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    bool Send(const std::string& bytes);
    // Reads until `bytes` bytes have arrived or the time is up; returns what came.
    std::string Receive(std::size_t bytes, int timeoutMs = 5000);
    // Whatever else arrives within the time (to show that nothing more comes).
    std::string ReceiveAny(int timeoutMs);
    // True when the service has closed the connection (read returns 0).
    bool PeerClosed(int timeoutMs);
    // Sends and reads a reply of the given size.
    std::string Ask(const std::string& request, std::size_t replySize, int timeoutMs = 5000);
    // Half-closes: no more requests, replies can still be read.
    void ShutdownSending();
    void Close();

  private:
    int fd_ = -1;
};

// An application request as the provider sends it: padded with NUL bytes to 1024.
std::string ApplicationRequest(const std::string& text);

} // namespace qmtest
