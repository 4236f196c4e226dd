#pragma once
// Reads the questions of a DNS query a program sends, to find one that asks
// for a name's service bindings (SVCB, HTTPS records). Those records carry
// the keys a browser needs to encrypt its ClientHello, which would hide the
// site's name from the filter. A plain function over bytes: nothing is read
// past the end of the bytes given.

#include <cstddef>

namespace zul {

// A name server's port: datagrams to it are looked at.
constexpr unsigned short kNameServerPort = 53;

// True when the bytes are a standard DNS query (no answer, opcode QUERY) one
// of whose questions asks for a record of type SVCB (64) or HTTPS (65).
bool AsksForServiceBindings(const unsigned char* data, std::size_t size);

} // namespace zul
