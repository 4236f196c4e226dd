#include "installer/admin/provider_setup.h"

#include "common/wide.h"
#include "installer/admin/system_files.h"
#include "installer/admin/system_paths.h"
#include "platform/catalog.h"

#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

namespace qmadmin {
namespace {

using TwoArgs = int (*)(const char*, const char*);
using ThreeArgs = int (*)(const char*, const char*, const char*);

bool ProviderInCatalog() {
    for (const platform::CatalogItem& item : platform::ReadCatalog()) {
        if (qm::NarrowFromWide(item.info.szProtocol) == "Quellmark") {
            return true;
        }
    }
    return false;
}

// The export of libkovinst.so; the library stays loaded (its Qt libraries
// cannot be unloaded cleanly).
void* Export(const char* name) {
    std::string path = ProgramFolder() + "/libkovinst.so";
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    return library ? ::dlsym(library, name) : nullptr;
}

} // namespace

std::string ProgramFolder() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string MissingPrograms() {
    std::string missing;
    for (const char* name : {"KOVARI", "libsockhost.so", "libZUL.so", "libmsafd.so",
                             "libkovinst.so", "resources", "splash"}) {
        if (!Exists(ProgramFolder() + "/" + name)) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        }
    }
    return missing;
}

std::string InstallProvider(const std::string& installId, const std::string& code) {
    if (ProviderInCatalog()) {
        return {};
    }
    auto install = reinterpret_cast<TwoArgs>(Export("InstallLSP"));
    if (!install) {
        return "libkovinst.so cannot be used: " + std::string(::dlerror());
    }
    int result = install(installId.c_str(), code.c_str());
    if (result != 0) {
        return "installing the provider into the socket catalog failed (result " +
               std::to_string(result) + ")";
    }
    return {};
}

std::string UninstallProvider(const std::string& first, const std::string& second,
                              const std::string& code) {
    if (!ProviderInCatalog()) {
        return {};
    }
    auto uninstall = reinterpret_cast<ThreeArgs>(Export("UninstallLSP"));
    if (!uninstall) {
        return "libkovinst.so cannot be used: " + std::string(::dlerror());
    }
    int result = uninstall(first.c_str(), second.c_str(), code.c_str());
    if (result != 0) {
        return "removing the provider from the socket catalog failed (result " +
               std::to_string(result) + ")";
    }
    return {};
}

} // namespace qmadmin
