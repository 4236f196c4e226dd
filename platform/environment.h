#pragma once
// Expansion of environment variables in paths, written $NAME or ${NAME}.
// An unset variable expands to nothing; "$" not followed by a name stays.
// Both calls return the length of the expansion including its terminator, the
// way the Windows calls do, and copy it only when it fits in nSize characters.

#include "platform/wintypes.h"

#include <string>
#include <string_view>

DWORD ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, DWORD nSize);
DWORD ExpandEnvironmentStringsW(const WCHAR* lpSrc, WCHAR* lpDst, DWORD nSize);

namespace platform {

std::string ExpandEnvironment(std::string_view text);

} // namespace platform
