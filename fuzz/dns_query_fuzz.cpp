// A datagram a program sends to a name server, read as a DNS query: whether
// one of its questions asks for service bindings (SVCB, HTTPS records).

#include "provider/dns_query.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!zul::AsksForServiceBindings(data, size)) {
        return 0;
    }
    // What decided lies within the bytes: more bytes after them change nothing,
    std::vector<std::uint8_t> longer(data, data + size);
    longer.push_back(0);
    if (!zul::AsksForServiceBindings(longer.data(), longer.size())) {
        std::abort();
    }
    // and an answer is never taken for a query.
    longer[2] |= 0x80;
    if (zul::AsksForServiceBindings(longer.data(), longer.size())) {
        std::abort();
    }
    return 0;
}
