#include "platform/channel_port.h"

#include "platform/registry.h"
#include "platform/user_name.h"

#include <algorithm>
#include <string>

namespace platform {
namespace {

std::string FilteredAccounts() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    char text[4096] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "FilteredAccounts", nullptr, &type,
                                   reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : std::string();
}

std::string Trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

std::uint16_t ChannelPort() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) {
        return kBaseChannelPort;
    }
    std::string accounts = FilteredAccounts();
    int place = 0;
    for (std::size_t start = 0; start <= accounts.size(); ++place) {
        std::size_t comma = accounts.find(',', start);
        std::string account = Trimmed(accounts.substr(start, comma - start));
        if (account == name) {
            return std::uint16_t(kBaseChannelPort + std::min(place, kMaxChannelAccounts - 1));
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return kBaseChannelPort;
}

} // namespace platform
