#include "provider/dns_query.h"

namespace zul {
namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr unsigned kTypeSvcb = 64;
constexpr unsigned kTypeHttps = 65;
constexpr unsigned kMaxQuestions = 16;

unsigned Word(const unsigned char* at) {
    return unsigned(at[0]) << 8 | at[1];
}

// The offset just past the name that begins at `at`, or 0 when it runs past
// the end or holds a label type other than a plain length or a pointer.
std::size_t SkipName(const unsigned char* data, std::size_t size, std::size_t at) {
    while (at < size) {
        unsigned char length = data[at];
        if (length == 0) {
            return at + 1;
        }
        if ((length & 0xC0) == 0xC0) { // a pointer ends the name
            return at + 2 <= size ? at + 2 : 0;
        }
        if (length & 0xC0) {
            return 0;
        }
        at += 1 + length;
    }
    return 0;
}

} // namespace

bool AsksForServiceBindings(const unsigned char* data, std::size_t size) {
    if (!data || size < kHeaderSize) {
        return false;
    }
    bool isAnswer = data[2] & 0x80;
    unsigned opcode = (data[2] >> 3) & 0x0F;
    if (isAnswer || opcode != 0) {
        return false;
    }
    unsigned questions = Word(data + 4);
    std::size_t at = kHeaderSize;
    for (unsigned i = 0; i < questions && i < kMaxQuestions; ++i) {
        at = SkipName(data, size, at);
        if (at == 0 || at + 4 > size) {
            return false;
        }
        unsigned type = Word(data + at);
        if (type == kTypeSvcb || type == kTypeHttps) {
            return true;
        }
        at += 4; // type and class
    }
    return false;
}

} // namespace zul
