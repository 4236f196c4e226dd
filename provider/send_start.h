#pragma once
// What a send carries decides before it goes to the lower provider: the
// ClientHello that opens a TLS connection (held back until it is whole, then
// its server name is asked about), the start of an HTTP request of any method
// (gathered over sends until its URL can be built), and datagrams to the port
// of HTTP/3 and name queries for service bindings, which are refused (over TCP,
// a send that holds such a query whole).

#include "provider/zul_types.h"

#include <cstddef>

namespace zul {

enum class SendStep {
    Forward, // send the program's bytes (bytes held back earlier have gone first)
    Held,    // the bytes are kept back; the send reports them all sent
    Refused, // the send fails with *lpErrno
};

SendStep InspectSend(SOCK_INFO* context, SOCKET s, const WSABUF* buffers, DWORD count,
                     int* lpErrno);

// How many bytes the buffers hold.
std::size_t BuffersLength(const WSABUF* buffers, DWORD count);

// A datagram to port 443 (to: the send's address, or null for a connected
// socket), and a name query to port 53 that asks for service bindings (the
// keys that would hide a site's name in its ClientHello), are refused with
// WSAEACCES.
bool IsDatagramRefused(SOCK_INFO* context, const sockaddr* to, int toLength, const WSABUF* buffers,
                       DWORD count, int* lpErrno);

// A socket whose secure connection was blocked fails every call as reset.
bool IsReset(SOCK_INFO* context, int* lpErrno);

} // namespace zul
