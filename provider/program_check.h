#pragma once
// The program check before a connect: the calling program is named by the
// OriginalFilename of its version information (once per translation it
// records), else by its file name, and the filter service is asked whether
// that program may connect to the port.

#include "provider/informant.h"
#include "provider/zul_types.h"

namespace zul {

// The port of the local filter channel: connects to it are never checked.
constexpr int kChannelPort = 4100;

// True when the connect to port (host order) is to be refused. Logs under
// "WSPConnect" at level 1 with the process-wide settings.
bool IsProgramRefused(CInformant& informant, int port);

// The port of an address (host order), or 0 when it has none.
WORD PortOf(const sockaddr* address, int length);

// Before a connection is made (connect, ConnectEx, a TCP fast-open send-to):
// the program is asked about the address's port, and when it may connect the
// port is kept as the socket's peer port. True (*lpErrno WSAECONNREFUSED)
// when refused.
bool IsConnectRefused(CInformant& informant, SOCK_INFO* context, const sockaddr* to, int toLength,
                      int* lpErrno);

} // namespace zul
