#pragma once
// The registry stand-in. Each hive is one REGEDIT4-style text file:
//   $QUELLMARK_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg and .../HKEY_CURRENT_USER.reg
// (unset: /etc/quellmark and $XDG_CONFIG_HOME/quellmark or ~/.config/quellmark).
// Key names keep their backslashes and compare without regard to case.
// A call checks the file's identity and re-reads it when it changed
// (platform/hive_file.h), so values written by another process are seen at
// once. A writer holds an flock on "<hive>.lock", rewrites the hive into a
// temporary file and renames it over the hive, so readers never see half a
// file and concurrent writers lose nothing. A hive that cannot be parsed reads
// with its damaged keys missing, and is never overwritten (ERROR_BADDB).

#include "platform/wintypes.h"

#include <string>

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(std::uintptr_t(0x80000001)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(std::uintptr_t(0x80000002)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Opens a key, creating it (and its parents) when missing.
LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD reserved, char* className, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);
// With data null, reports type and size only. ERROR_MORE_DATA when *dataSize is
// too small (then *dataSize holds the size needed). REG_SZ sizes count the NUL.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueA(HKEY key, const char* valueName);
// Values in the order they were first written; ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize);
// Direct subkeys in name order; ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   char* className, DWORD* classSize, void* lastWriteTime);
// Deletes a key that has no subkeys, with its values.
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);

namespace platform {

// The file that holds a predefined hive (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER).
std::string HivePath(HKEY root);

} // namespace platform
