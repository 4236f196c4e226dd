#include "ui/popup_site.h"

#include "common/text.h"

#include <algorithm>

namespace {

constexpr std::string::size_type kMaxSiteLength = 256;
// Removed from a site, each character in turn.
constexpr char kRemoved[] = " `~!@#$%^&()_+=|}]{[;',<>";

void CutAt(std::string& text, char mark) {
    std::string::size_type at = text.find(mark);
    if (at != std::string::npos) {
        text.erase(at);
    }
}

} // namespace

const char* NormalizePopupSite(const std::string& site, std::string& pattern) {
    std::string text(qm::TrimSpaces(site));
    if (text.empty()) {
        return "ERROR: You cannot add a blank site.";
    }
    if (text.find('.') == std::string::npos) {
        return "ERROR: The site you entered is invalid.";
    }
    if (text.size() >= kMaxSiteLength) {
        return "ERROR: The site you entered is too long";
    }
    std::string::size_type scheme = text.find("//");
    if (scheme != std::string::npos) {
        text.erase(0, scheme + 2);
    }
    for (char mark : {'/', '\\', ':', '?'}) {
        CutAt(text, mark);
    }
    if (text.starts_with('.')) {
        text.insert(0, "*");
    }
    if (text.ends_with('.')) {
        text += '*';
    }
    if (std::count(text.begin(), text.end(), '.') == 1) {
        text.insert(0, "*.");
    }
    for (const char* removed = kRemoved; *removed; ++removed) {
        text.erase(std::remove(text.begin(), text.end(), *removed), text.end());
    }
    if (text.empty()) {
        return "ERROR: The site you entered is invalid."; // nothing of a host was left
    }
    pattern = text;
    return nullptr;
}
