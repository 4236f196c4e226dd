#pragma once
// One enumeration of the socket catalog, taken the way every installer step takes
// it: size first, then the records into a buffer of that size.

#include "platform/winsock_types.h"

#include <string>
#include <vector>

namespace qm {

// The whole catalog in catalog order; empty when the count is below 1.
std::vector<WSAPROTOCOL_INFOW> EnumerateCatalog();
// The entry's protocol name in the system code page.
std::string ProtocolName(const WSAPROTOCOL_INFOW& info);

} // namespace qm
