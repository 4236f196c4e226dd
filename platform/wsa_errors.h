#pragma once
// Mapping between POSIX errno values and Winsock error codes, both ways.

namespace platform {

int WsaErrorFromErrno(int error);
int ErrnoFromWsaError(int wsaError);

} // namespace platform
