#pragma once
// The program check before a connect: the calling program is named by the
// OriginalFilename of its version information (once per translation it
// records), else by its file name, and the filter service is asked whether
// that program may connect to the port.

#include "provider/informant.h"

namespace zul {

// The port of the local filter channel: connects to it are never checked.
constexpr int kChannelPort = 4100;

// True when the connect to port (host order) is to be refused. Logs under
// "WSPConnect" at level 1 with the process-wide settings.
bool IsProgramRefused(CInformant& informant, int port);

} // namespace zul
