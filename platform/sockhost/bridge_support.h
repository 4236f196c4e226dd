#pragma once
// The work behind the preload bridge's entry points: whether a call is the
// host's to route, and the routed calls in the shape of the POSIX ones (a
// result, or -1 with errno set from the provider's Winsock error).

#include "platform/sockhost/socket_calls.h"

#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace sockhost {

// False inside the host's or a provider's start-up and in a child that shares
// the parent's memory (vfork): such calls go straight to the C library.
bool Bridged();
// A live handle of the host, and the call is bridged.
bool Ours(int fd);
bool Find(int fd, Target& target);
// The process is the host's to filter: with the system-wide install active,
// only a filtered account's process (not the filter service's own).
bool ProcessFiltered();
// A socket of this domain may be made through the catalog.
bool Routed(int domain);

std::uint32_t ClampLength(std::size_t length);
// Sets errno for a Winsock error (the exact system error when the provider
// noted one that maps to it) and returns -1.
int FailWith(int wsaError);

int BridgeSocket(int domain, int type, int protocol);
int BridgeAccept(int fd, sockaddr* address, socklen_t* length, int flags);
int Connect(const Target& target, const sockaddr* address, socklen_t length);
// With an address, the send-to and receive-from procedures; otherwise the plain
// ones, so that every stream receive of the program is a receive.
ssize_t Send(const Target& target, WSABUF* buffers, DWORD count, int flags, const sockaddr* address,
             socklen_t addressLength);
ssize_t Recv(const Target& target, WSABUF* buffers, DWORD count, int flags, sockaddr* address,
             socklen_t* addressLength);
// With control data, through the provider's message-send extension.
ssize_t SendMessage(const Target& target, const msghdr* message, int flags);
// Each message in turn, as sendmmsg reports them.
int SendMessages(const Target& target, mmsghdr* messages, unsigned int count, int flags);
ssize_t RecvMessage(const Target& target, msghdr* message, int flags);

} // namespace sockhost
