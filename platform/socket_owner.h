#pragma once
// Which account owns a local socket, asked of the kernel's socket
// diagnostics (netlink). Each answer is a user id, or -1 when no such socket
// was found or the kernel could not be asked.

#include <cstdint>
#include <netinet/in.h>
#include <string>

namespace platform {

// The owner of the TCP socket with this local and remote address (as that
// socket sees them: for the peer of an accepted connection, its own address
// is the accepted connection's remote one).
long TcpSocketOwner(const sockaddr_in& local, const sockaddr_in& remote);
// The owner of the TCP listener on the port that loopback connections reach
// (bound to 127.0.0.1 or to every address).
long TcpListenerOwner(std::uint16_t port);
// The owner of the local socket bound to the abstract name.
long AbstractNameOwner(const std::string& name);

} // namespace platform
