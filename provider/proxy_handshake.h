#pragma once
// Recognising the handshake a program sends to a SOCKS proxy before the
// proxy's tunnel carries its own connection. After the handshake the tunnel's
// first bytes (a ClientHello, an HTTP request) are looked at as a new
// connection's are, so that a proxy does not hide the site's name. Plain
// functions over bytes; each message must be exactly one send's bytes, which
// keeps other protocols from being taken for one.

#include <cstddef>

namespace zul {

enum class ProxyStep {
    None,        // not a SOCKS message
    Greeting,    // SOCKS 5: the methods offered; a request follows
    Login,       // SOCKS 5: a user name and password
    TunnelAsked, // a SOCKS 4, 4a or 5 request to connect: the tunnel is next
};

// What a send at the start of a connection is.
ProxyStep ReadProxyOpening(const unsigned char* data, std::size_t size);
// What a send after a SOCKS 5 greeting is.
ProxyStep ReadProxyFollowing(const unsigned char* data, std::size_t size);

} // namespace zul
