// The first bytes a program sends on a connection, read as a TLS ClientHello:
// its server name, whether more bytes are needed, or that it is none.

#include "provider/tls_hello.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckName(const zul::TlsHello& hello) {
    for (char c : hello.serverName) {
        if (c >= 'A' && c <= 'Z') {
            std::abort(); // names come in lower case
        }
    }
    if (!hello.serverName.empty() && hello.serverName.back() == '.') {
        std::abort(); // and without a final dot
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zul::TlsHello hello = zul::ReadClientHello(data, size);
    CheckName(hello);
    if (hello.kind == zul::TlsHello::NeedMore &&
        (hello.needed <= size || hello.needed > zul::kTlsRecordMax + zul::kTlsHeaderSize)) {
        std::abort();
    }
    // A whole ClientHello that fills its record exactly: one byte short, it
    // asks for just that byte.
    if (hello.kind == zul::TlsHello::Complete && size >= zul::kTlsHeaderSize &&
        size == zul::kTlsHeaderSize + (std::size_t(data[3]) << 8 | data[4])) {
        zul::TlsHello part = zul::ReadClientHello(data, size - 1);
        if (part.kind != zul::TlsHello::NeedMore || part.needed != size) {
            std::abort();
        }
    }
    return 0;
}
