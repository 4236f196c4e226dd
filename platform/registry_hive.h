#pragma once
// In-memory form of one hive file, and its REGEDIT4 text form.

#include "platform/wintypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::hive {

struct Value {
    std::string name; // empty for the default value "@"
    DWORD type = 0;
    std::string data; // raw bytes; REG_SZ without its terminating NUL
};

struct Key {
    std::string path; // below the root, e.g. "Software\\Quellmark\\Settings"
    std::vector<Value> values;
    bool damaged = false; // a line of this key could not be read
};

struct Hive {
    std::vector<Key> keys;
    bool damaged = false; // some part of the file could not be read

    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;
    // Finds or adds the key and its missing parents.
    Key& Create(std::string_view path);
    bool HasSubkeys(std::string_view path) const;
    std::vector<std::string> Subkeys(std::string_view path) const;
};

// rootName is "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
Hive Parse(std::string_view text, std::string_view rootName);
std::string Format(const Hive& hive, std::string_view rootName);

Value* FindValue(Key& key, std::string_view name);
const Value* FindValue(const Key& key, std::string_view name);

} // namespace platform::hive
