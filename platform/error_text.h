#pragma once
// The system's text for an error number (winerror.h values), as log lines
// quote it.

#include "platform/wintypes.h"

#include <string>

namespace platform {

std::string SystemErrorText(LONG error);

} // namespace platform
