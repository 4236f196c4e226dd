#pragma once
// Where a blocked request is sent: the block page that the filter service
// serves itself, which names the site and why it was blocked. The address is
// read from the machine settings when the library is attached
// (platform/block_page_location.h); the service always allows that address's
// host.

namespace zul {

// The block page address of this process.
const char* BlockPageUrl();

} // namespace zul
