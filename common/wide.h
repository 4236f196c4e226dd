#pragma once
// UTF-16 text of the catalog (provider names and paths) and its narrow form.
// The system code page here is UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

std::u16string WideFromNarrow(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string NarrowFromWide(std::u16string_view text);

// The text of a fixed-size, NUL-terminated wide field (up to its first NUL).
std::u16string_view WideField(const char16_t* field, std::size_t capacity);
// Copies text into a fixed-size field, cut to capacity - 1 units and NUL-terminated.
void CopyToWideField(std::u16string_view text, char16_t* field, std::size_t capacity);

} // namespace qm
