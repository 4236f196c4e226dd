#pragma once
// Small file steps of the activation, all as root: whole-file reads, files
// replaced by rename with a fixed mode, folders and links with an owner.

#include <optional>
#include <string>
#include <sys/types.h>

namespace qmadmin {

std::optional<std::string> ReadWhole(const std::string& path);
// Writes a temporary file beside `path`, flushes it and renames it over `path`.
bool ReplaceWhole(const std::string& path, const std::string& text, mode_t mode);
// Creates the folder when missing; then sets owner and mode.
bool MakeFolder(const std::string& path, uid_t owner, gid_t group, mode_t mode);
// A root-owned symbolic link `path` -> `target`, replacing what stood there.
bool MakeLink(const std::string& path, const std::string& target);
bool Exists(const std::string& path);
// Removes a file, a link or a whole folder; true when nothing is left.
bool RemoveAll(const std::string& path);

} // namespace qmadmin
