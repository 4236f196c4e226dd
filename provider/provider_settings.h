#pragma once
// The provider's process-wide settings: the installation folder, the log
// level and the block page address. The start-up code reads them from the registry when the library
// is attached to a process, before the process's informant is created; until then (and when reading
// fails) the defaults stand.

#include "platform/block_page_location.h"
#include "platform/wintypes.h"

#include <string>

namespace zul {

struct ProviderSettings {
    std::string dir = "/tmp"; // at most 254 characters
    DWORD debugLevel = 0;     // 0 logs nothing
    std::string blockPage = platform::BlockPageLocation{}.address;
};

// The one instance of the process. Written at attach, read by every log line.
ProviderSettings& ProcessSettings();

} // namespace zul
