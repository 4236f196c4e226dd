#pragma once
// Registry values that decide where and as whom the service logs a member in:
// the machine settings naming the account server, and the remembered member
// of the saved profiles. Written into the registry folder that
// QUELLMARK_REGISTRY_DIR names.

#include "platform/registry.h"

#include <string>

namespace qmtest {

inline void SetRegistryString(HKEY root, const char* path, const char* name,
                              const std::string& value) {
    HKEY key = nullptr;
    RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(key);
}

inline void SetMachineSetting(const char* name, const std::string& value) {
    SetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", name, value);
}

inline void SetMachineDword(const char* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
}

// The remembered member as the login window saves it: "name~password".
inline void RememberMember(const std::string& text) {
    SetRegistryString(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles", "", text);
}

} // namespace qmtest
