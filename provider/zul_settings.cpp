#include "provider/zul_settings.h"

#include "platform/block_page_location.h"
#include "platform/error_text.h"
#include "platform/registry.h"
#include "platform/system_install.h"
#include "provider/lsp_log.h"
#include "provider/provider_settings.h"

namespace zul {
namespace {

constexpr const char* kSettingsKey = "SOFTWARE\\Quellmark\\Settings";
constexpr const char* kGuidKey = "SOFTWARE\\Quellmark\\GUID";
constexpr const char* kDefaultDir = "/tmp";

// A failure line: the given text as the function text, the system's text for
// the error as the message.
bool Failed(const char* text, LONG error) {
    const ProviderSettings& settings = ProcessSettings();
    WriteLog(settings.dir, settings.debugLevel, text, platform::SystemErrorText(error), 1);
    return false;
}

} // namespace

bool GetSettings() {
    ProviderSettings& settings = ProcessSettings();
    HKEY key = nullptr;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key);
    if (error != ERROR_SUCCESS) {
        settings = ProviderSettings{kDefaultDir, 0};
        return Failed("Failed to open registry key for DIR[GetSettings] Error = ", error);
    }
    char dir[255] = {};
    DWORD size = sizeof dir;
    error = RegQueryValueExA(key, "Dir", nullptr, nullptr, reinterpret_cast<BYTE*>(dir), &size);
    if (error != ERROR_SUCCESS) {
        settings = ProviderSettings{kDefaultDir, 0};
        RegCloseKey(key);
        return Failed("Failed to query registry value for DIR[GetSettings] Error = ", error);
    }
    dir[sizeof dir - 1] = '\0';
    settings.dir = platform::InstallFolderFor(dir);
    settings.debugLevel = 0;
    settings.blockPage = platform::ReadBlockPageLocation(key).address;
    if ((error = RegCloseKey(key)) != ERROR_SUCCESS) {
        return Failed("Failed to close registry key when getting DIR [GetSettings] Error = ",
                      error);
    }
    error = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key);
    if (error != ERROR_SUCCESS) {
        return Failed("Failed to open registry key for DEBUGLEVEL [GetSettings] Error = ", error);
    }
    DWORD level = 0;
    size = sizeof level;
    error = RegQueryValueExA(key, "DebugLevel", nullptr, nullptr, reinterpret_cast<BYTE*>(&level),
                             &size);
    if (error != ERROR_SUCCESS) {
        RegCloseKey(key);
        return Failed("Failed to query registry value for DEBUGLEVEL [GetSettings] Error = ",
                      error);
    }
    settings.debugLevel = level;
    if ((error = RegCloseKey(key)) != ERROR_SUCCESS) {
        return Failed("Failed to close registry key for DEBUGLEVEL[GetSettings] Error = ", error);
    }
    return true;
}

bool RetrieveGUID(GUID* guid, const char* valueName) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuidKey, 0, KEY_READ, &key);
    if (error != ERROR_SUCCESS) {
        return Failed("Failed to open registry key [RetrieveGUID] Error = ", error);
    }
    DWORD size = sizeof(GUID);
    error =
        RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(guid), &size);
    if (error != ERROR_SUCCESS || size != sizeof(GUID)) {
        RegCloseKey(key);
        return Failed("Failed to query registry value [RetrieveGUID] Error = ",
                      error != ERROR_SUCCESS ? error : ERROR_INVALID_PARAMETER);
    }
    if ((error = RegCloseKey(key)) != ERROR_SUCCESS) {
        return Failed("Failed to close registry key [RetrieveGUID] Error = ", error);
    }
    return true;
}

} // namespace zul
