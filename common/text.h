#pragma once
// Single-byte text helpers. Program and site names compare without regard to
// letter case; only ASCII letters are folded, as the system's code page does.

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

constexpr char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
void ToLowerInPlace(char* text, std::size_t length);

// <0, 0 or >0 like strcmp, ignoring ASCII case.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Position of needle in haystack ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

std::string_view TrimSpaces(std::string_view text);

// The text as a text-mode write puts it on disk: every line feed, alone or
// already after a carriage return, becomes carriage return + line feed.
std::string WithCrLf(std::string_view text);

} // namespace qm
