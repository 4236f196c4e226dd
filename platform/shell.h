#pragma once
// Starting a program the way the shell's "open" verb does: detached from the
// caller, in a session of its own, minimised (there is nothing to minimise here).
// The socket host is left out of the program's LD_PRELOAD, so the started
// program's own sockets are not filtered. The program inherits no descriptor
// of the caller: its standard input, output and error are /dev/null.

#include <cstdint>
#include <string>

namespace platform {

// Value above 32 when the program was started. Otherwise a Windows error number:
// 2 missing file, 3 a path component is not a folder, 5 not allowed to run,
// 8 out of memory, 11 not a program.
std::intptr_t ShellOpen(const std::string& path);

// The value of LD_PRELOAD without the socket host's entries (separated by
// blanks or colons); empty when nothing else is left.
std::string PreloadWithoutSocketHost(const std::string& preload);

} // namespace platform
