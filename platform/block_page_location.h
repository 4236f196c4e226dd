#pragma once
// Where the account's block page is served and the address a blocked request
// is redirected to, read from the open machine Settings key by the service
// (which serves the page) and by the provider (which redirects to it), so the
// two always agree. The port is "BlockPagePort" (default 4180) moved by the
// account's place among the filtered accounts, as the channel port is, so two
// filtered accounts logged in at once each have a page of their own. The
// address is "BlockPage"; missing, empty or too long for a redirect, it is
// "http://127.0.0.1:" + port + "/".

#include "platform/registry.h"

#include <cstdint>
#include <string>

namespace platform {

inline constexpr std::uint16_t kDefaultBlockPagePort = 4180;

struct BlockPageLocation {
    std::uint16_t port = kDefaultBlockPagePort;
    std::string address = "http://127.0.0.1:4180/";
};

BlockPageLocation ReadBlockPageLocation(HKEY settingsKey);

} // namespace platform
