#pragma once
// Finds the IPv4 address of a host name or dotted address, giving up after a
// time limit: the system's resolver may stay silent far longer than a caller
// can wait (its own limit is several seconds per server and attempt).

#include <netinet/in.h>
#include <string>

namespace platform {

enum class LookupResult { Found, NotFound, TimedOut };

// timeoutMs 0 waits as long as the resolver does.
LookupResult LookUpAddress(const std::string& host, unsigned port, int timeoutMs,
                           sockaddr_in& address);

} // namespace platform
