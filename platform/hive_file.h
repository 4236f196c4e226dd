#pragma once
// Reading a hive file, with the parsed hive kept for the life of the process.
// A hive read before is handed out again while its file still has the same
// identity (device, inode, size, modification and change times to the
// nanosecond) and the process reads it with the same effective user and group;
// any change of these reads and parses the file afresh. A hive
// whose file changed shortly before it was read is not kept: a second change
// within the file system's timestamp step could leave every identity field as
// it was. Writers in this process forget the hive they replaced.

#include "platform/registry_hive.h"

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The hive held by the file at path (empty when the file is missing or cannot
// be read); rootName is "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
std::shared_ptr<const hive::Hive> ReadHiveFile(const std::string& path, std::string_view rootName);

// Reads and parses the file at path, keeping nothing (for a writer under its lock).
hive::Hive ReadHiveFileAfresh(const std::string& path, std::string_view rootName);

// Forgets what was kept for path (after this process replaced the file).
void ForgetHiveFile(const std::string& path);

} // namespace platform
