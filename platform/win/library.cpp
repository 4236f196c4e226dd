#include "platform/win/library.h"

#include "common/wide.h"

#include <dlfcn.h>
#include <string>

HMODULE LoadLibraryA(const char* lpLibFileName) {
    if (!lpLibFileName) {
        return nullptr;
    }
    return ::dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
}

HMODULE LoadLibraryW(const WCHAR* lpLibFileName) {
    if (!lpLibFileName) {
        return nullptr;
    }
    return LoadLibraryA(qm::NarrowFromWide(lpLibFileName).c_str());
}

void* GetProcAddress(HMODULE hModule, const char* lpProcName) {
    return hModule ? ::dlsym(hModule, lpProcName) : nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    return hLibModule && ::dlclose(hLibModule) == 0 ? TRUE : FALSE;
}
