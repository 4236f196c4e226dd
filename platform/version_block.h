#pragma once
// The version information of a program on this platform: the content of its
// ".qm_version" ELF section. All numbers are little-endian:
//
//   "QMVI"                     4 bytes
//   total length               u32, the whole block, these 8 bytes included
//   translation bytes          u32, a multiple of 4
//   translations               (u16 language, u16 code page) pairs
//   string count               u32
//   strings                    each: u16 key length, key, u16 value length, value;
//                              lengths count the terminating NUL, which must be there
//
// A key is the query path below "\StringFileInfo\", for example
// "040904e4\OriginalFilename". A block that breaks any of these rules is not
// version information at all.

#include "platform/wintypes.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct VersionTranslation {
    WORD language;
    WORD codePage;
};

std::vector<BYTE>
BuildVersionBlock(const std::vector<VersionTranslation>& translations,
                  const std::vector<std::pair<std::string, std::string>>& strings);

// What a well-formed block holds; the pointers point into the block.
struct VersionBlockView {
    struct Entry {
        const char* key;
        const char* value;
        std::size_t valueLength; // terminator included
    };
    const BYTE* translations = nullptr;
    std::size_t translationBytes = 0;
    std::vector<Entry> strings;
};

// Reads the size bytes at data as one whole block. False, with view
// untouched, when they are not well-formed.
bool ReadVersionBlock(const BYTE* data, std::size_t size, VersionBlockView* view);

} // namespace platform
