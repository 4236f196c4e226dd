// A stand-in for the product's setup program: loads libkovinst.so with dlopen
// and calls one of its exports with the arguments of the command line.
//
//   quellmark-setup [--library PATH] check     INSTALL_ID CODE
//   quellmark-setup [--library PATH] install   INSTALL_ID CODE
//   quellmark-setup [--library PATH] uninstall FIRST SECOND CODE
//
// Prints "result: N" with the export's result. Exit status 0 when the result is
// 0, 1 for any other result, 2 when the library or the export cannot be used.

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using TwoArgs = int (*)(const char*, const char*);
using ThreeArgs = int (*)(const char*, const char*, const char*);

int Usage(FILE* to = stderr) {
    std::fprintf(to, "usage: quellmark-setup [--library PATH] check|install INSTALL_ID CODE\n"
                     "       quellmark-setup [--library PATH] uninstall FIRST SECOND CODE\n");
    return 2;
}

// libkovinst.so beside this program, as the setup places them together.
std::string DefaultLibrary() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "libkovinst.so" : (self.parent_path() / "libkovinst.so").string();
}

int Run(void* library, const std::vector<std::string>& args) {
    const std::string& command = args[0];
    const char* name = command == "check"       ? "CheckInstallSID"
                       : command == "install"   ? "InstallLSP"
                       : command == "uninstall" ? "UninstallLSP"
                                                : nullptr;
    std::size_t wanted = command == "uninstall" ? 4 : 3;
    if (!name || args.size() != wanted) {
        return Usage();
    }
    void* symbol = ::dlsym(library, name);
    if (!symbol) {
        std::fprintf(stderr, "quellmark-setup: %s not found: %s\n", name, ::dlerror());
        return 2;
    }
    int result = wanted == 3 ? reinterpret_cast<TwoArgs>(symbol)(args[1].c_str(), args[2].c_str())
                             : reinterpret_cast<ThreeArgs>(symbol)(args[1].c_str(), args[2].c_str(),
                                                                   args[3].c_str());
    std::printf("result: %d\n", result);
    return result == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string path = DefaultLibrary();
    if (args.size() >= 2 && args[0] == "--library") {
        path = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        return Usage();
    }
    if (args[0] == "--help" || args[0] == "-h") {
        Usage(stdout);
        return 0;
    }
    // Kept mapped after dlclose: the Qt libraries it brings in cannot be unloaded cleanly.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        std::fprintf(stderr, "quellmark-setup: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return 2;
    }
    int status = Run(library, args);
    ::dlclose(library);
    return status;
}
