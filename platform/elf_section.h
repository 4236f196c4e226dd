#pragma once
// Reading one section of an ELF file (64-bit, little-endian) by its name. Every
// offset and size in the file is checked against the file before it is used,
// so a truncated or crafted file reads as "no such section".

#include "platform/wintypes.h"

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The contents of the named section; false when the file is not such an ELF
// file, has no such section with contents, or the section is larger than maxSize.
bool ReadElfSection(const std::string& path, const std::string& name, std::size_t maxSize,
                    std::vector<BYTE>& contents);

} // namespace platform
