#include "platform/win/library.h"

#include "common/wide.h"
#include "platform/own_folder.h"
#include "platform/system_install.h"

#include <cstring>
#include <dlfcn.h>
#include <string>

// A bare name the loader cannot find is also looked for beside the calling
// library (the loader's own search misses it when a sanitizer runtime makes
// the dlopen call on the library's behalf).
HMODULE LoadLibraryA(const char* lpLibFileName) {
    if (!lpLibFileName) {
        return nullptr;
    }
    std::string folder;
    // In a filtered account's process of the system-wide install a bare name is
    // taken from beside the calling library first, so that LD_LIBRARY_PATH
    // cannot put another provider in its place.
    if (platform::SystemWideInstall().filtered && !std::strchr(lpLibFileName, '/') &&
        !(folder = platform::OwnFolder()).empty()) {
        if (HMODULE own = ::dlopen((folder + "/" + lpLibFileName).c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return own;
        }
    }
    HMODULE module = ::dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (!module && !std::strchr(lpLibFileName, '/') && !(folder = platform::OwnFolder()).empty()) {
        module = ::dlopen((folder + "/" + lpLibFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return module;
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
