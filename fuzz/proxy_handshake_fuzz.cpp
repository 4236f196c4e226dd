// What a program sends at the start of a connection, or after a SOCKS 5
// greeting, read as a SOCKS message.

#include "provider/proxy_handshake.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zul::ProxyStep opening = zul::ReadProxyOpening(data, size);
    zul::ProxyStep following = zul::ReadProxyFollowing(data, size);
    // A message is one send's bytes exactly: a byte more makes it none.
    std::vector<std::uint8_t> longer(data, data + size);
    longer.push_back(1);
    if ((opening != zul::ProxyStep::None &&
         zul::ReadProxyOpening(longer.data(), longer.size()) == opening) ||
        (following != zul::ProxyStep::None &&
         zul::ReadProxyFollowing(longer.data(), longer.size()) == following)) {
        std::abort();
    }
    return 0;
}
