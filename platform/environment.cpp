#include "platform/environment.h"

#include "common/wide.h"

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Appends the value of the variable that starts at text[at] (just after "$");
// returns the position after the reference, or `at` when there is none.
std::size_t ExpandOne(std::string_view text, std::size_t at, std::string& out) {
    std::size_t begin = at;
    std::size_t end = at;
    std::size_t after = at;
    if (at < text.size() && text[at] == '{') {
        std::size_t close = text.find('}', at + 1);
        if (close == std::string_view::npos) {
            return at;
        }
        begin = at + 1;
        end = close;
        after = close + 1;
    } else {
        while (end < text.size() && IsNameChar(text[end])) {
            ++end;
        }
        after = end;
    }
    if (end == begin) {
        return at;
    }
    std::string name(text.substr(begin, end - begin));
    if (const char* value = std::getenv(name.c_str())) {
        out += value;
    }
    return after;
}

} // namespace

std::string ExpandEnvironment(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '$') {
            std::size_t next = ExpandOne(text, i + 1, out);
            if (next != i + 1) {
                i = next;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

} // namespace platform

DWORD ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, DWORD nSize) {
    if (!lpSrc) {
        return 0;
    }
    std::string expanded = platform::ExpandEnvironment(lpSrc);
    DWORD needed = DWORD(expanded.size() + 1);
    if (lpDst && needed <= nSize) {
        std::memcpy(lpDst, expanded.c_str(), needed);
    }
    return needed;
}

DWORD ExpandEnvironmentStringsW(const WCHAR* lpSrc, WCHAR* lpDst, DWORD nSize) {
    if (!lpSrc) {
        return 0;
    }
    std::u16string expanded =
        qm::WideFromNarrow(platform::ExpandEnvironment(qm::NarrowFromWide(lpSrc)));
    DWORD needed = DWORD(expanded.size() + 1);
    if (lpDst && needed <= nSize) {
        std::memcpy(lpDst, expanded.c_str(), needed * sizeof(WCHAR));
    }
    return needed;
}
