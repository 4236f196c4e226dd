#include "platform/block_page_location.h"

#include "platform/channel_port.h"
#include "platform/registry.h"

namespace platform {

BlockPageLocation ReadBlockPageLocation(HKEY settingsKey) {
    BlockPageLocation location;
    DWORD port = 0;
    DWORD size = sizeof port;
    DWORD type = 0;
    if (RegQueryValueExA(settingsKey, "BlockPagePort", nullptr, &type,
                         reinterpret_cast<BYTE*>(&port), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || port == 0 || port > 65535) {
        port = kDefaultBlockPagePort;
    }
    port += DWORD(FilteredAccountPlace(settingsKey));
    location.port = std::uint16_t(port > 65535 ? kDefaultBlockPagePort : port);
    char page[512] = {};
    size = sizeof page - 1;
    if (RegQueryValueExA(settingsKey, "BlockPage", nullptr, &type, reinterpret_cast<BYTE*>(page),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ && page[0] != '\0') {
        location.address = page;
    } else {
        location.address = "http://127.0.0.1:" + std::to_string(location.port) + "/";
    }
    return location;
}

} // namespace platform
