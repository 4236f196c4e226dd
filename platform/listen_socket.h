#pragma once
// The steps of starting a TCP listener, each failing on its own with a Winsock
// error code, so callers can log which step failed.

#include <cstdint>
#include <string>

namespace platform {

// A stream socket bound to address:port (close-on-exec, non-blocking; the port
// may be reused while old connections linger in TIME_WAIT); -1 on failure.
int CreateBoundTcpSocket(const std::string& address, std::uint16_t port, int* wsaError);
bool SetReuseAddress(int fd, int* wsaError);
bool ListenOn(int fd, int backlog, int* wsaError);
void CloseSocket(int fd);

} // namespace platform
