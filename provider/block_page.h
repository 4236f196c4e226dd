#pragma once
// Where a blocked request is sent: the block page that the filter service
// serves itself, which names the site and why it was blocked. The address is
// the machine setting "BlockPage", read when the library is attached; the
// service always allows that address's host.

namespace zul {

constexpr const char* kDefaultBlockPageUrl = "http://127.0.0.1:4180/";

// The block page address of this process.
const char* BlockPageUrl();

} // namespace zul
