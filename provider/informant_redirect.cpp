// The receive side: the redirect of a blocked socket and disarming pop-ups.
#include "provider/informant.h"

#include "common/text.h"
#include "provider/lsp_log.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zul {
namespace {

constexpr const char* kRedirect = "CInformant::CheckForRedirect";
constexpr std::string_view kPopupCall = "window.open";
constexpr std::string_view kPopupStop = "POPBLOKR = ";
static_assert(kPopupCall.size() == kPopupStop.size());

} // namespace

void CInformant::CheckForRedirect(SOCKET socket, char* buffer, DWORD* bufferLength,
                                  DWORD* bytesReceived) {
    if (!buffer || !bufferLength || !bytesReceived || *bufferLength < 4) {
        return;
    }
    std::unique_lock<std::recursive_mutex> hold = mostWanted_.Lock();
    CMostWantedEntry* entry = nullptr;
    if (!mostWanted_.IsMostWanted(socket, &entry)) {
        hold.unlock();
        if (popups_.Find(socket)) {
            DisablePopups(buffer, *bufferLength);
        }
        return;
    }
    WriteLog(kRedirect, "Found a Socket to block - REDIRECTING", 2);
    std::string text = FormatText("HTTP/1.1 302 Found\nLocation: %s?site=%s/\n\n",
                                  entry->target.c_str(), entry->url.c_str());
    // Only the buffer's length may be written: a longer text is cut.
    DWORD written = DWORD(std::min<std::size_t>(text.size(), *bufferLength));
    std::memcpy(buffer, text.data(), written);
    if (written < *bufferLength) {
        buffer[written] = '\0';
    }
    *bufferLength = written;
    *bytesReceived = written;
    WriteLog(kRedirect, "Removing Socket from Evil Socket list", 2);
    mostWanted_.Remove(entry);
    WriteLog(kRedirect, "Socket Removed", 2);
    WriteLog("CInformant::CheckForRedirect()", "Done checking for redirect", 2);
}

// Searches a lower-cased copy once; no match can start inside a replaced
// stretch (the pattern does not overlap itself and the replacement holds no
// "w"), so this finds what searching afresh after each replacement would.
void CInformant::DisablePopups(char* buffer, DWORD length) {
    if (!buffer) {
        return;
    }
    std::string text = qm::ToLower(std::string_view(buffer, ::strnlen(buffer, length)));
    for (std::size_t at = text.find(kPopupCall); at != std::string::npos;
         at = text.find(kPopupCall, at + 1)) {
        std::memcpy(buffer + at, kPopupStop.data(), kPopupStop.size());
    }
}

} // namespace zul
