#include "platform/channel_port.h"

#include "platform/registry.h"
#include "platform/system_install.h"
#include "platform/user_name.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform {

int FilteredAccountPlace(HKEY settingsKey) {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) {
        return 0;
    }
    char text[4096] = {};
    DWORD textSize = sizeof text - 1;
    DWORD type = 0;
    if (RegQueryValueExA(settingsKey, kFilteredAccountsValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(text), &textSize) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return 0;
    }
    std::vector<std::string> accounts = SplitAccounts(text);
    auto found = std::find(accounts.begin(), accounts.end(), name);
    return found == accounts.end()
               ? 0
               : std::min(int(found - accounts.begin()), kMaxChannelAccounts - 1);
}

std::uint16_t ChannelPort() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return kBaseChannelPort;
    }
    int place = FilteredAccountPlace(key);
    RegCloseKey(key);
    return std::uint16_t(kBaseChannelPort + place);
}

} // namespace platform
