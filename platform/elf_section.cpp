#include "platform/elf_section.h"

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::size_t kMaxNameTable = 1 << 20;

class ElfFile {
  public:
    explicit ElfFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat info {};
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
            size_ = std::uint64_t(info.st_size);
        }
    }
    ~ElfFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ElfFile(const ElfFile&) = delete;
    ElfFile& operator=(const ElfFile&) = delete;

    // Reads count bytes at offset; false when they are not all inside the file.
    bool Read(std::uint64_t offset, std::size_t count, void* out) const {
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        auto* at = static_cast<char*>(out);
        while (count > 0) {
            ssize_t got = ::pread(fd_, at, count, off_t(offset));
            if (got <= 0) {
                return false;
            }
            at += got;
            offset += std::uint64_t(got);
            count -= std::size_t(got);
        }
        return true;
    }

  private:
    int fd_;
    std::uint64_t size_ = 0;
};

bool ValidHeader(const Elf64_Ehdr& header) {
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == ELFDATA2LSB &&
           header.e_shentsize == sizeof(Elf64_Shdr) && header.e_shnum > 0 &&
           header.e_shstrndx < header.e_shnum;
}

bool ReadContents(const ElfFile& file, const Elf64_Shdr& section, std::size_t maxSize,
                  std::vector<BYTE>& out) {
    if (section.sh_type == SHT_NOBITS || section.sh_size > maxSize) {
        return false;
    }
    std::vector<BYTE> bytes(section.sh_size);
    if (!file.Read(section.sh_offset, bytes.size(), bytes.data())) {
        return false;
    }
    out = std::move(bytes);
    return true;
}

} // namespace

bool ReadElfSection(const std::string& path, const std::string& name, std::size_t maxSize,
                    std::vector<BYTE>& contents) {
    ElfFile file(path);
    Elf64_Ehdr header{};
    if (!file.Read(0, sizeof header, &header) || !ValidHeader(header)) {
        return false;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::vector<BYTE> names;
    if (!file.Read(header.e_shoff, sections.size() * sizeof(Elf64_Shdr), sections.data()) ||
        !ReadContents(file, sections[header.e_shstrndx], kMaxNameTable, names)) {
        return false;
    }
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= names.size()) {
            continue;
        }
        const char* at = reinterpret_cast<const char*>(names.data()) + section.sh_name;
        std::size_t room = names.size() - section.sh_name;
        if (room > name.size() && std::memcmp(at, name.c_str(), name.size() + 1) == 0) {
            return ReadContents(file, section, maxSize, contents);
        }
    }
    return false;
}

} // namespace platform
