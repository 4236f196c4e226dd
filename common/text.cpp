#include "common/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qm {

std::string ToLower(std::string_view text) {
    std::string out(text);
    ToLowerInPlace(out.data(), out.size());
    return out;
}

std::string ToUpper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), ToUpperAscii);
    return out;
}

// Eight bytes at a time: a byte gets 0x20 added when it is an ASCII capital
// (high bit clear, at least 'A' and at most 'Z'); other bytes stay as they are.
void ToLowerInPlace(char* text, std::size_t length) {
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, 8);
        std::uint64_t low7 = word & kLow7;
        std::uint64_t atLeastA = low7 + 0x3f3f3f3f3f3f3f3fULL; // high bit set from 'A' on
        std::uint64_t aboveZ = low7 + 0x2525252525252525ULL;   // high bit set after 'Z'
        std::uint64_t capitals = (atLeastA ^ aboveZ) & ~word & kHigh;
        word |= capitals >> 2;
        std::memcpy(text + i, &word, 8);
    }
    std::transform(text + i, text + length, text + i, ToLowerAscii);
}

int CompareNoCase(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(ToLowerAscii(a[i]));
        auto cb = static_cast<unsigned char>(ToLowerAscii(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (needle.size() > haystack.size()) {
        return std::string_view::npos;
    }
    for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (EqualsNoCase(haystack.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view TrimSpaces(std::string_view text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

} // namespace qm
