#pragma once
// The filter logic of the provider, one per process. It asks the filter
// service about every outgoing HTTP request and the server name of every
// secure connection, remembers a block of an HTTP request per socket
// and turns the socket's next received answer into a redirect to the block
// page, disarms pop-up scripts in pages of sockets whose pop-ups are blocked,
// and asks whether a program may connect to a port.

#include "platform/winsock_types.h"
#include "provider/channel.h"
#include "provider/most_wanted_list.h"
#include "provider/popup_list.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace zul {

class CInformant {
  public:
    static constexpr std::size_t kUrlSize = 1024;

    // Talks to the filter service through a CAgencyComms.
    CInformant(const std::string& directory, DWORD debugLevel);
    // Talks through the given channel instead.
    CInformant(const std::string& directory, DWORD debugLevel, std::unique_ptr<CChannel> channel);
    virtual ~CInformant() = default;
    CInformant(const CInformant&) = delete;
    CInformant& operator=(const CInformant&) = delete;

    // The start of an HTTP request (any method) being sent, before it goes on unchanged.
    void InspectBuffer(const char* buffer, SOCKET socket, int length);
    // Asks about the site of a secure connection ("https://host/"), one
    // inspection at a time like a request; true when the service blocks it or
    // cannot be asked.
    bool IsSecureSiteBlocked(const char* url);
    // Writes the lower-case URL of an HTTP request into url (kUrlSize bytes,
    // zero-filled by the caller). False when the request holds no URL.
    bool BuildURL(char* url, const char* buffer, int length);
    bool ValidateComms(int kind);
    // The first buffer of a completed receive; bufferLength is its length field
    // and bytesReceived the received count, both rewritten by a redirect.
    void CheckForRedirect(SOCKET socket, char* buffer, DWORD* bufferLength, DWORD* bytesReceived);
    // What CheckForRedirect does for a socket that owes no redirect: disarms
    // pop-ups when the socket's are blocked.
    void CheckForPopups(SOCKET socket, char* buffer, DWORD bufferLength);
    // Overwrites every "window.open" (any case) with "POPBLOKR = ".
    void DisablePopups(char* buffer, DWORD length);
    // True when the filter service refuses the program a connect to the port.
    bool IsConnectionBlocked(int port, const char* app);

    CMostWantedList& MostWanted() { return mostWanted_; }
    CPopupList& Popups() { return popups_; }

  private:
    std::unique_lock<std::mutex> TakeInspectionGuard();
    // Asks the service about url; reply (1024 bytes, zero-filled) gets its
    // answer. False when it could not be asked (logged).
    bool AskAboutUrl(const char* url, char* reply);
    void LogReply(const char* reply) const;
    void ApplyReply(const char* reply, SOCKET socket, const char* url);
    bool AskAboutProgram(int port, const char* app);
    void WriteLog(const char* function, std::string_view message, DWORD level) const;

    CMostWantedList mostWanted_;
    DWORD debugLevel_;
    std::string directory_;
    std::mutex busy_; // held while an inspection runs
    std::unique_ptr<CChannel> channel_;
    CPopupList popups_;
};

} // namespace zul
