#pragma once
// Where a blocked request is sent. The host lies in one of the domains that the
// filter service always allows, so following the redirect is never blocked.

namespace zul {

constexpr const char* kBlockPageUrl = "http://block.tellwyn.com";

} // namespace zul
