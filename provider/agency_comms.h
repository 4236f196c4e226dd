#pragma once
// The provider's end of the local filter channel. It makes sure the filter
// service runs (starting Dir + "/KOVARI" when its presence cannot be found),
// and keeps one TCP connection to 127.0.0.1:4100 per kind of request for the
// life of the process. A connection, once made, is never closed or replaced:
// a broken one keeps failing, and a restarted service is not reconnected.

#include "platform/winsock_types.h"
#include "provider/channel.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zul {

class CAgencyComms : public CChannel {
  public:
    static constexpr WORD kPort = 4100;
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
    };

    Connection* Find(int kind);
    bool ConnectSocket(SOCKET s);
    void WriteLog(const char* function, const std::string& message, DWORD level) const;

    std::string directory_;
    DWORD debugLevel_;
    Connection url_;
    Connection app_;
    std::mutex unknownKind_;
};

} // namespace zul
