// Version information: the bytes as a version block, and the bytes as a
// program file whose ".qm_version" ELF section is read and queried.

#include "platform/version_block.h"
#include "platform/version_info.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string gFile; // the program file the input is written to, removed at exit
int gFd = -1;

void RemoveFile() {
    ::unlink(gFile.c_str());
}

void Query(const std::vector<BYTE>& block, const char* subBlock) {
    void* value = nullptr;
    UINT length = 0;
    if (platform::VerQueryValueA(block.data(), subBlock, &value, &length)) {
        const BYTE* at = static_cast<const BYTE*>(value);
        if (at < block.data() || at + length > block.data() + block.size()) {
            std::abort(); // a value always lies inside the block
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    gFile = base + "/qm-fuzz-elf-XXXXXX";
    gFd = ::mkstemp(gFile.data());
    if (gFd < 0) {
        std::abort();
    }
    std::atexit(RemoveFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::VersionBlockView view;
    if (platform::ReadVersionBlock(data, size, &view)) {
        for (const auto& entry : view.strings) {
            const auto* value = reinterpret_cast<const std::uint8_t*>(entry.value);
            if (value < data || value + entry.valueLength > data + size || entry.valueLength == 0 ||
                entry.value[entry.valueLength - 1] != '\0' ||
                std::strlen(entry.key) == size_t(-1)) {
                std::abort();
            }
        }
    }

    if (::ftruncate(gFd, 0) != 0 || ::pwrite(gFd, data, size, 0) != ssize_t(size)) {
        std::abort();
    }
    DWORD handle = 0;
    DWORD need = platform::GetFileVersionInfoSizeA(gFile.c_str(), &handle);
    if (need == 0) {
        return 0;
    }
    std::vector<BYTE> block(need);
    if (!platform::GetFileVersionInfoA(gFile.c_str(), handle, need, block.data())) {
        return 0;
    }
    Query(block, "\\VarFileInfo\\Translation");
    Query(block, "\\StringFileInfo\\040904e4\\OriginalFilename");
    Query(block, "\\StringFileInfo\\040904E4\\originalfilename");
    Query(block, "\\");
    return 0;
}
