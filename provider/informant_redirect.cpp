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
    if (mostWanted_.Empty()) {
        CheckForPopups(socket, buffer, *bufferLength);
        return;
    }
    std::unique_lock<std::recursive_mutex> hold = mostWanted_.Lock();
    CMostWantedEntry* entry = nullptr;
    if (!mostWanted_.IsMostWanted(socket, &entry)) {
        hold.unlock();
        CheckForPopups(socket, buffer, *bufferLength);
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

void CInformant::CheckForPopups(SOCKET socket, char* buffer, DWORD bufferLength) {
    if (buffer && bufferLength >= 4 && popups_.Find(socket)) {
        DisablePopups(buffer, bufferLength);
    }
}

// Every match has its "." at the same place, and "." is no letter: the scan
// looks for dots only (memchr) and compares the letters around each one without
// regard to case. Matches cannot overlap (the pattern does not overlap itself)
// and the replacement holds neither "." nor "w", so a replaced stretch never
// makes or hides a later match: this finds what a search of a lower-cased copy
// finds, without copying the buffer. The text ends at the first zero byte; that
// is looked for first only when the buffer ends in one (a zeroed tail would
// otherwise be searched for dots to its end), else only before a replacement.
void CInformant::DisablePopups(char* buffer, DWORD length) {
    constexpr std::size_t kDot = kPopupCall.find('.');
    constexpr std::size_t kAfter = kPopupCall.size() - kDot;
    if (!buffer || length < kPopupCall.size()) {
        return;
    }
    std::size_t end = length;
    std::size_t clean = 0; // no zero byte before this
    if (buffer[length - 1] == '\0') {
        end = clean = ::strnlen(buffer, length);
        if (end < kPopupCall.size()) {
            return;
        }
    }
    const char* last = buffer + end - kAfter; // the last place a match's dot can be
    for (char* dot = buffer + kDot; dot <= last; ++dot) {
        dot = static_cast<char*>(std::memchr(dot, '.', std::size_t(last - dot) + 1));
        if (!dot) {
            return;
        }
        char* start = dot - kDot;
        if (!qm::EqualsNoCase(std::string_view(start, kPopupCall.size()), kPopupCall)) {
            continue;
        }
        std::size_t matchEnd = std::size_t(start - buffer) + kPopupCall.size();
        if (clean < matchEnd && std::memchr(buffer + clean, '\0', matchEnd - clean)) {
            return; // the text ended before this match
        }
        clean = std::max(clean, matchEnd);
        std::memcpy(start, kPopupStop.data(), kPopupStop.size());
    }
}

} // namespace zul
