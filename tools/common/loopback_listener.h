#pragma once
// The listening socket of a stand-in server: blocking TCP on 127.0.0.1:port.

#include <cstdint>
#include <cstdio>

namespace qmtools {

// The listening fd, or -1 after printing why (prefixed with the server's name).
int ListenOnLoopback(std::uint16_t port, const char* serverName);

} // namespace qmtools
