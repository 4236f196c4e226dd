// Writing and reading one GUID value under the machine's GUID key.

#include "installer/catalog_installer.h"
#include "installer/guid_key.h"
#include "platform/registry.h"

int CCatalogInstaller::writeGuid(const char* valueName, const GUID& guid) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, qm::kGuidKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return REGISTRY_CREATE_FAILED;
    }
    if (RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&guid),
                       sizeof guid) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return REGISTRY_WRITE_FAILED;
    }
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : REGISTRY_CLOSE_FAILED;
}

bool CCatalogInstaller::readGuid(const char* valueName, GUID& guid) {
    guid = GUID{};
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, qm::kGuidKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    GUID read{};
    DWORD type = 0;
    DWORD size = sizeof read;
    LONG rc =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_BINARY || size != sizeof read) {
        return false;
    }
    guid = read;
    return true;
}
