// Building the URL of an HTTP request from its request line and Host header.
#include "provider/informant.h"

#include "common/text.h"
#include "provider/lsp_log.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zul {
namespace {

constexpr const char* kBuild = "CInformant::BuildURL";
constexpr std::size_t kPartMax = 1023; // a path or host is kept in 1024 bytes
constexpr std::size_t kUrlMax = 1000;  // the host and path of a URL together

// The request text: the buffer up to its first zero byte, lower-cased.
std::string RequestText(const char* buffer, int length) {
    std::size_t size = length > 0 ? ::strnlen(buffer, std::size_t(length)) : 0;
    return qm::ToLower(std::string_view(buffer, size));
}

// The request target: from just after the method's blank up to the first " http/".
bool FindPath(std::string_view request, std::string_view& path) {
    std::size_t start = request.find(' ') + 1;
    std::size_t blank = request.find(" http/");
    if (start == 0 || blank == std::string_view::npos || blank < start) {
        return false;
    }
    path = request.substr(start, std::min(blank - start, kPartMax));
    return true;
}

// The value of the first "host:" header line, after its blanks, up to the line
// feed and without a carriage return before it.
bool FindHost(std::string_view request, std::string_view& host) {
    std::size_t name = request.find("\nhost:");
    if (name == std::string_view::npos) {
        return false;
    }
    std::size_t start = request.find_first_not_of(" \t", name + 6);
    std::size_t lineFeed = request.find('\n', name + 6);
    if (lineFeed == std::string_view::npos) {
        return false;
    }
    start = std::min(start, lineFeed);
    std::size_t end = lineFeed > start && request[lineFeed - 1] == '\r' ? lineFeed - 1 : lineFeed;
    host = request.substr(start, std::min(end - start, kPartMax));
    return true;
}

// Writes "http://" host path, terminated; host and path are at most kUrlMax together.
void Compose(char* url, std::string_view host, std::string_view path) {
    std::string text = "http://" + std::string(host) + std::string(path);
    std::size_t length = std::min(text.size(), CInformant::kUrlSize - 1);
    std::memcpy(url, text.data(), length);
    url[length] = '\0';
}

} // namespace

bool CInformant::BuildURL(char* url, const char* buffer, int length) {
    WriteLog(kBuild, "Starting to build URL.", 2);
    std::string request = RequestText(buffer, length);
    std::string_view path;
    if (!FindPath(request, path)) {
        WriteLog(kBuild, "No request target found; the request is not examined.", 2);
        return false;
    }
    WriteLog("CInformant::BuildURL->szURLTemp", std::string(path), 2);
    if (path.starts_with("/")) {
        std::string_view host;
        if (!FindHost(request, host)) {
            WriteLog(kBuild, "No host found; the request is not examined.", 2);
            return false;
        }
        WriteLog("CInformant::BuildURL->szHostname", std::string(host), 2);
        if (path.size() + host.size() <= kUrlMax) {
            Compose(url, host, path);
        } else if (host.size() <= kUrlMax) {
            Compose(url, host, path.substr(0, kUrlMax - host.size()));
        } else {
            Compose(url, host.substr(0, kUrlMax), {});
        }
    } else if (path.starts_with("http://")) {
        std::memcpy(url, path.data(), path.size());
        url[path.size()] = '\0';
    } else {
        Compose(url, {}, path.substr(0, kUrlMax));
    }
    WriteLog("CInformant::BuildURL->szURL", url, 2);
    WriteLog(kBuild, "Done building URL.", 2);
    return true;
}

} // namespace zul
