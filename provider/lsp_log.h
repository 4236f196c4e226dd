#pragma once
// The provider's log: one line "MM/DD/YY HH:MM:SS-> function - message" per
// message, appended to dir + "/Logs/LspLog.txt". The file is opened, written
// with a single write and closed for every line, so lines of different threads
// and processes never mix. A file that cannot be opened drops the line.

#include "platform/wintypes.h"

#include <cinttypes>
#include <string>
#include <string_view>

// A handle or pointer in a log line, after a literal "0x": 16 upper-case hex
// digits, as the log has always shown them (glibc's %p would add its own 0x).
#define LOG_HANDLE_FORMAT "%016" PRIXPTR

namespace zul {

// Writes the line when level <= debugLevel and dir is not empty.
void WriteLog(const std::string& dir, DWORD debugLevel, const char* function,
              std::string_view message, DWORD level);

// printf-style formatting into a string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats at most 1024 characters and logs them at level 2 under
// "*** DEBUG MESSAGE ***" with the process-wide settings.
void DebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The path of the log file below dir.
std::string LogPath(const std::string& dir);

} // namespace zul
