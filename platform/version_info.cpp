#include "platform/version_info.h"

#include "common/text.h"
#include "platform/elf_section.h"
#include "platform/version_block.h"

#include <cstring>
#include <string_view>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kSection = ".qm_version";
constexpr std::size_t kMaxBlock = 64 * 1024;
constexpr std::string_view kTranslation = "\\VarFileInfo\\Translation";
constexpr std::string_view kStrings = "\\StringFileInfo\\";

bool ReadBlock(const char* filename, std::vector<BYTE>& block) {
    VersionBlockView view;
    return filename && ReadElfSection(filename, kSection, kMaxBlock, block) &&
           ReadVersionBlock(block.data(), block.size(), &view);
}

} // namespace

DWORD GetFileVersionInfoSizeA(const char* filename, DWORD* handle) {
    if (handle) {
        *handle = 0;
    }
    std::vector<BYTE> block;
    return ReadBlock(filename, block) ? DWORD(block.size()) : 0;
}

BOOL GetFileVersionInfoA(const char* filename, DWORD, DWORD len, void* data) {
    std::vector<BYTE> block;
    if (!data || !ReadBlock(filename, block) || block.size() > len) {
        return FALSE;
    }
    std::memcpy(data, block.data(), block.size());
    return TRUE;
}

BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len) {
    // The block was filled by GetFileVersionInfoA: its header holds its length.
    const auto* bytes = static_cast<const BYTE*>(block);
    VersionBlockView view;
    if (!bytes || !subBlock || !buffer || !len ||
        !ReadVersionBlock(bytes,
                          std::size_t(bytes[4]) | std::size_t(bytes[5]) << 8 |
                              std::size_t(bytes[6]) << 16 | std::size_t(bytes[7]) << 24,
                          &view)) {
        return FALSE;
    }
    std::string_view query(subBlock);
    if (qm::EqualsNoCase(query, kTranslation)) {
        if (view.translationBytes == 0) {
            return FALSE;
        }
        *buffer = const_cast<BYTE*>(view.translations);
        *len = UINT(view.translationBytes);
        return TRUE;
    }
    if (!qm::StartsWithNoCase(query, kStrings)) {
        return FALSE;
    }
    query.remove_prefix(kStrings.size());
    for (const VersionBlockView::Entry& entry : view.strings) {
        if (qm::EqualsNoCase(entry.key, query)) {
            *buffer = const_cast<char*>(entry.value);
            *len = UINT(entry.valueLength);
            return TRUE;
        }
    }
    return FALSE;
}

DWORD GetModuleFileNameA(void* module, char* filename, DWORD size) {
    if (module || !filename || size == 0) {
        return 0;
    }
    ssize_t got = ::readlink("/proc/self/exe", filename, size);
    if (got <= 0) {
        filename[0] = '\0';
        return 0;
    }
    if (std::size_t(got) >= size) {
        filename[size - 1] = '\0';
        return size;
    }
    filename[got] = '\0';
    return DWORD(got);
}

} // namespace platform
