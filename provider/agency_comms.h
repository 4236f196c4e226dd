#pragma once
// The provider's end of the local filter channel. It makes sure the filter
// service runs (starting Dir + "/KOVARI" when its presence cannot be found),
// and keeps one TCP connection to 127.0.0.1:4100 per kind of request. While a
// kind's connection is open and shows no hang-up, the service runs and no
// further test is made. A send or receive that fails, or an answer cut off by
// the service closing, closes the kind's connection: that request fails, and
// the next one finds the service again (starting it if need be) and
// reconnects, so a restarted service serves the process again.

#include "platform/winsock_types.h"
#include "provider/channel.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

namespace zul {

class CAgencyComms : public CChannel {
  public:
    static constexpr const char* kAddress = "127.0.0.1";
    static constexpr const char* kWindowClass = "VRA_Class";
    static constexpr const char* kProgram = "/KOVARI";
    static constexpr int kStartWaits = 5;
    static constexpr DWORD kStartWaitMs = 1000;

    CAgencyComms(const std::string& directory, DWORD debugLevel);
    ~CAgencyComms() override;
    CAgencyComms(const CAgencyComms&) = delete;
    CAgencyComms& operator=(const CAgencyComms&) = delete;

    // True when the service runs, starting it if need be.
    bool EstablishCommunications();
    // True when the start of the service's program was accepted.
    bool StartApp();

    std::unique_lock<std::mutex> LockKind(int kind) override;
    // First makes sure the service runs; then the kind's connected flag.
    bool IsConnected(int kind) override;
    // Connects the kind's socket; the caller holds LockKind(kind).
    bool EstablishCommunication(int kind) override;
    bool SendCommunication(const char* bytes, int count, int kind) override;
    bool ReceiveCommunication(char* buffer, int capacity, int kind) override;
    void CloseCommunication(int kind);

  private:
    struct Connection {
        std::mutex lock;
        std::atomic<SOCKET> socket{INVALID_SOCKET};
        std::atomic<bool> connected{false};
        // The service was found by IsConnected just now, under the kind's lock.
        bool serviceFound = false;
    };

    Connection* Find(int kind);
    // The connection is open and a poll that does not wait shows neither a
    // hang-up nor bytes nobody asked for.
    static bool Healthy(const Connection& connection);
    // Closes a broken connection; its kind reconnects at its next request.
    static void Drop(Connection& connection);
    bool ConnectSocket(SOCKET s);
    void WriteLog(const char* function, std::string_view message, DWORD level) const;

    std::string directory_;
    DWORD debugLevel_;
    WORD port_; // the account's channel port (platform/channel_port.h)
    Connection url_;
    Connection app_;
    std::mutex unknownKind_;
};

} // namespace zul
