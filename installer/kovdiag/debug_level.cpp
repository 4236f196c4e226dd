#include "installer/kovdiag/debug_level.h"

#include "installer/kovdiag/control_ids.h"
#include "platform/registry.h"

namespace kovdiag {
namespace {

constexpr const char* kSettingsKey = "Software\\Quellmark\\Settings";

struct LevelButton {
    DWORD level;
    int button;
};
constexpr LevelButton kLevels[] = {
    {0, IDC_DEBUG_OFF}, {1, IDC_DEBUG_LOW}, {2, IDC_DEBUG_MEDIUM}, {3, IDC_DEBUG_HIGH}};

} // namespace

int StoredDebugLevelButton() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return IDC_DEBUG_OFF;
    }
    DWORD level = 0;
    DWORD size = sizeof level;
    DWORD type = 0;
    LONG rc =
        RegQueryValueExA(key, "DebugLevel", nullptr, &type, reinterpret_cast<BYTE*>(&level), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        return IDC_DEBUG_OFF;
    }
    for (const auto& entry : kLevels) {
        if (entry.level == level) {
            return entry.button;
        }
    }
    return 0;
}

void StoreDebugLevelButton(int buttonId) {
    DWORD level = 0;
    for (const auto& entry : kLevels) {
        if (entry.button == buttonId) {
            level = entry.level;
        }
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, "DebugLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level),
                   sizeof level);
    RegCloseKey(key);
}

} // namespace kovdiag
