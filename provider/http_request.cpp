#include "provider/http_request.h"

#include "common/text.h"

#include <string>

namespace zul {
namespace {

constexpr std::size_t kMethodMax = 20;

bool MethodCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
}

// The length of the method token at the start, or 0 when the text cannot begin one.
std::size_t MethodLength(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && length < kMethodMax && MethodCharacter(text[length])) {
        ++length;
    }
    return length;
}

// A header line of that name (lower case, with its colon) ends in a line feed.
bool HasCompleteHeader(std::string_view lower, std::string_view name) {
    for (std::size_t at = lower.find('\n'); at != std::string_view::npos;
         at = lower.find('\n', at + 1)) {
        if (lower.substr(at + 1).starts_with(name)) {
            return lower.find('\n', at + 1) != std::string_view::npos;
        }
    }
    return false;
}

} // namespace

bool BeginsWithMethod(std::string_view text) {
    std::size_t length = MethodLength(text);
    return length > 0 && length < text.size() && text[length] == ' ';
}

RequestStart ReadRequestStart(std::string_view text) {
    std::size_t method = MethodLength(text);
    if (method == text.size()) {
        return method > 0 && method < kMethodMax ? RequestStart::Partial : RequestStart::NotRequest;
    }
    if (method == 0 || text[method] != ' ') {
        return RequestStart::NotRequest;
    }
    std::string lower = qm::ToLower(text.substr(0, kRequestStartMax));
    std::size_t lineEnd = lower.find('\n');
    std::size_t version = lower.find(" http/");
    if (lineEnd != std::string::npos && (version == std::string::npos || version > lineEnd)) {
        return RequestStart::NotRequest; // a first line that names no protocol
    }
    if (text.size() >= kRequestStartMax) {
        return RequestStart::Ready;
    }
    if (lineEnd == std::string::npos) {
        return RequestStart::Partial;
    }
    bool headEnds =
        lower.find("\n\n") != std::string::npos || lower.find("\n\r\n") != std::string::npos;
    bool originForm = lower.size() > method + 1 && lower[method + 1] == '/';
    return headEnds || !originForm || HasCompleteHeader(lower, "host:") ? RequestStart::Ready
                                                                        : RequestStart::Partial;
}

} // namespace zul
