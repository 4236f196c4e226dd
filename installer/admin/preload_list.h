#pragma once
// The dynamic loader's list of libraries preloaded into every program
// (/etc/ld.so.preload): one line added, and the same line taken out again, with
// every other byte of the file kept.

#include <optional>
#include <string>

namespace qmadmin {

// The text with `line` added, or nullopt when it is there already. The line
// goes first, so that taking it out again gives back the exact bytes (the last
// line of the file may have no line end).
std::optional<std::string> WithLine(const std::string& text, const std::string& line);
// The text without every line equal to `line` (nullopt when there is none).
std::optional<std::string> WithoutLine(const std::string& text, const std::string& line);

} // namespace qmadmin
