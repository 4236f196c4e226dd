#pragma once
// What the diagnostic tool keeps for one item of its catalog tree.

#include "platform/wintypes.h"

#include <string>

struct CProviderItem {
    GUID m_providerId;
    DWORD m_catalogEntryId;
    int m_chainLength;
    std::string m_protocolName;
};
