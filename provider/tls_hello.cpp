#include "provider/tls_hello.h"

#include <cstdint>

namespace zul {
namespace {

constexpr unsigned char kHandshakeRecord = 22;
constexpr unsigned char kClientHello = 1;
constexpr std::uint16_t kServerNameExtension = 0;
constexpr unsigned char kHostName = 0;
constexpr std::size_t kRandomSize = 32;
constexpr std::size_t kHostMax = 253;

// A bounded reader over one stretch of bytes; a read past its end fails and
// every later read fails too.
class Reader {
  public:
    Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return at_ == size_; }
    std::size_t Left() const { return size_ - at_; }

    std::uint32_t Number(std::size_t bytes) {
        if (!Have(bytes)) {
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | data_[at_++];
        }
        return value;
    }
    void Skip(std::size_t bytes) {
        if (Have(bytes)) {
            at_ += bytes;
        }
    }
    // The next `bytes` bytes as a reader of their own.
    Reader Part(std::size_t bytes) {
        if (!Have(bytes)) {
            return Reader(nullptr, 0, false);
        }
        Reader part(data_ + at_, bytes);
        at_ += bytes;
        return part;
    }
    // A part whose length comes first, in `lengthBytes` bytes.
    Reader Vector(std::size_t lengthBytes) { return Part(Number(lengthBytes)); }
    const unsigned char* Here() const { return data_ + at_; }

  private:
    Reader(const unsigned char* data, std::size_t size, bool ok)
        : data_(data), size_(size), ok_(ok) {}
    bool Have(std::size_t bytes) {
        ok_ = ok_ && bytes <= size_ - at_;
        return ok_;
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

TlsHello Result(TlsHello::Kind kind, std::size_t needed = 0) {
    TlsHello hello;
    hello.kind = kind;
    hello.needed = needed;
    return hello;
}

// A host name of letters, digits, hyphens, underscores and dots, lower-cased
// and without a final dot; false for anything else.
bool TakeHostName(Reader name, std::string& host) {
    std::size_t size = name.Left();
    if (size == 0 || size > kHostMax + 1) {
        return false;
    }
    const unsigned char* text = name.Here();
    host.clear();
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!letter && !other) {
            return false;
        }
        host.push_back(char(letter ? (c | 0x20) : c));
    }
    // An empty label anywhere, the end included ("name.."), is refused before
    // the one final dot a name may carry is dropped.
    if (host.find("..") != std::string::npos) {
        return false;
    }
    if (host.back() == '.') {
        host.pop_back();
    }
    return !host.empty() && host.size() <= kHostMax && host.front() != '.';
}

// The server name list of the extension: the first host name decides.
bool ReadServerName(Reader extension, std::string& host) {
    Reader list = extension.Vector(2);
    if (!extension.Ok() || !extension.AtEnd() || list.AtEnd()) {
        return false;
    }
    while (list.Ok() && !list.AtEnd()) {
        unsigned char type = static_cast<unsigned char>(list.Number(1));
        Reader name = list.Vector(2);
        if (!list.Ok()) {
            return false;
        }
        if (type == kHostName) {
            return TakeHostName(name, host);
        }
    }
    return false;
}

// The body of a ClientHello (after its four-byte handshake header).
TlsHello ReadBody(Reader body) {
    body.Skip(2 + kRandomSize);
    Reader session = body.Vector(1);
    Reader suites = body.Vector(2);
    Reader compression = body.Vector(1);
    if (!body.Ok() || session.Left() > 32 || suites.Left() < 2 || suites.Left() % 2 != 0 ||
        compression.Left() < 1) {
        return Result(TlsHello::Malformed);
    }
    TlsHello hello = Result(TlsHello::Complete);
    if (body.AtEnd()) {
        return hello; // no extensions at all
    }
    Reader extensions = body.Vector(2);
    if (!body.Ok() || !body.AtEnd()) {
        return Result(TlsHello::Malformed);
    }
    bool named = false;
    while (!extensions.AtEnd()) {
        std::uint32_t type = extensions.Number(2);
        Reader data = extensions.Vector(2);
        if (!extensions.Ok()) {
            return Result(TlsHello::Malformed);
        }
        if (type != kServerNameExtension) {
            continue; // the encrypted ClientHello among them: its outer name decides
        }
        // Two server name extensions could name two hosts: no choice is safe.
        if (named || !ReadServerName(data, hello.serverName)) {
            return Result(TlsHello::Malformed);
        }
        named = true;
    }
    return hello;
}

} // namespace

TlsHello ReadClientHello(const unsigned char* data, std::size_t size) {
    if (!data || size == 0 || data[0] != kHandshakeRecord) {
        return Result(TlsHello::NotHello);
    }
    if (size < kTlsHeaderSize + 1) {
        return Result(TlsHello::NeedMore, kTlsHeaderSize + 1);
    }
    if (data[1] != 3 || data[kTlsHeaderSize] != kClientHello) {
        return Result(TlsHello::NotHello);
    }
    std::size_t recordLength = (std::size_t(data[3]) << 8) | data[4];
    if (recordLength < 4 || recordLength > kTlsRecordMax) {
        return Result(TlsHello::Malformed);
    }
    std::size_t whole = kTlsHeaderSize + recordLength;
    if (size < whole) {
        return Result(TlsHello::NeedMore, whole);
    }
    Reader record(data + kTlsHeaderSize, recordLength);
    record.Skip(1); // the handshake type, checked above
    Reader body = record.Vector(3);
    // A ClientHello continued in a further record is not read: it is malformed here.
    if (!record.Ok()) {
        return Result(TlsHello::Malformed);
    }
    return ReadBody(body);
}

} // namespace zul
