#include "platform/channel_port.h"

#include "platform/registry.h"
#include "platform/system_install.h"
#include "platform/user_name.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform {
namespace {

std::string FilteredAccounts() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    char text[4096] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, kFilteredAccountsValue, nullptr, &type,
                                   reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : std::string();
}

} // namespace

std::uint16_t ChannelPort() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) {
        return kBaseChannelPort;
    }
    std::vector<std::string> accounts = SplitAccounts(FilteredAccounts());
    auto found = std::find(accounts.begin(), accounts.end(), name);
    if (found != accounts.end()) {
        int place = int(found - accounts.begin());
        return std::uint16_t(kBaseChannelPort + std::min(place, kMaxChannelAccounts - 1));
    }
    return kBaseChannelPort;
}

} // namespace platform
