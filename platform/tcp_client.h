#pragma once
// A blocking TCP client over IPv4: create, connect, wait for the connect to
// finish, send, receive, close. Failures return SOCKET_ERROR (or INVALID_SOCKET)
// and leave the Winsock error code for TcpLastError. Sockets are close-on-exec.

#include "platform/winsock_types.h"

namespace platform {

SOCKET TcpSocket();
// 0 when connected. A connect still in progress fails with WSAEWOULDBLOCK.
int TcpConnect(SOCKET s, const char* ipv4Address, WORD port);
// Like select for writing on one socket: 1 writable, 0 timed out, SOCKET_ERROR
// when the wait itself failed.
int TcpWaitWritable(SOCKET s, long seconds, long microseconds);
// The socket's pending error (SO_ERROR) as a Winsock code, 0 for none.
int TcpPendingError(SOCKET s);
// One send or receive; interrupted calls are repeated. Sending to a closed peer
// reports an error instead of raising a signal.
int TcpSend(SOCKET s, const char* bytes, int count);
int TcpRecv(SOCKET s, char* buffer, int capacity);
int TcpClose(SOCKET s);
// A poll that does not wait: true when the connection shows no hang-up, no
// error and no bytes waiting to be read.
bool TcpIdle(SOCKET s);
int TcpLastError();

} // namespace platform
