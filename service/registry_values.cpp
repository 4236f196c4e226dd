#include "service/registry_values.h"

bool ReadStringValue(HKEY key, const char* name, DWORD bufferSize, std::string& out) {
    std::string buffer(bufferSize, '\0');
    DWORD size = bufferSize;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    out = buffer.c_str();
    return true;
}

DWORD ReadDwordValue(HKEY key, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value) {
        return 0;
    }
    return value;
}
