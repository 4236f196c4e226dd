#pragma once
// Reads the server name of a TLS ClientHello from the first bytes a program
// sends on a TCP connection. A plain function over bytes: every record,
// handshake and extension length is checked against what is there, and
// nothing is read past the end of the bytes given.

#include <cstddef>
#include <string>

namespace zul {

// A ClientHello is read from one record of at most this length (the record
// header of 5 bytes comes on top).
constexpr std::size_t kTlsRecordMax = 16384;
constexpr std::size_t kTlsHeaderSize = 5;

struct TlsHello {
    enum Kind {
        NotHello,  // the bytes do not begin a ClientHello
        NeedMore,  // a ClientHello has begun; `needed` bytes make it whole
        Complete,  // a whole ClientHello; serverName is empty when it names none
        Malformed, // begins like a ClientHello but breaks its own lengths
    } kind = NotHello;
    std::size_t needed = 0;
    std::string serverName; // lower case, without a final dot
};

// With an encrypted ClientHello the name read is the outer (public) one.
TlsHello ReadClientHello(const unsigned char* data, std::size_t size);

} // namespace zul
