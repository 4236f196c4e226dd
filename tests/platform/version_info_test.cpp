// Version information read from ELF files written by the test: well-formed
// blocks, and crafted files and blocks that must read as "none" without any
// read outside the file's bytes (run under the asan preset too).

#include "platform/version_block.h"
#include "platform/version_info.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

struct Section {
    std::string name;
    Bytes bytes;
    Elf64_Word type = SHT_PROGBITS;
};

// An ELF file: the header, the section name table, the sections' bytes, then
// the section header table (null entry, names, the sections).
Bytes MakeElf(const std::vector<Section>& sections) {
    std::string names(1, '\0');
    names += ".shstrtab";
    names += '\0';
    std::vector<Elf64_Shdr> headers(2);
    Bytes file(sizeof(Elf64_Ehdr));
    headers[1].sh_name = 1;
    headers[1].sh_type = SHT_STRTAB;
    for (const Section& section : sections) {
        Elf64_Shdr header{};
        header.sh_name = Elf64_Word(names.size());
        header.sh_type = section.type;
        header.sh_size = section.bytes.size();
        names += section.name;
        names += '\0';
        headers.push_back(header);
    }
    headers[1].sh_offset = file.size();
    headers[1].sh_size = names.size();
    file.insert(file.end(), names.begin(), names.end());
    for (std::size_t i = 0; i < sections.size(); ++i) {
        headers[i + 2].sh_offset = file.size();
        file.insert(file.end(), sections[i].bytes.begin(), sections[i].bytes.end());
    }
    file.resize((file.size() + 7) / 8 * 8); // the header table is 8-byte aligned
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_X86_64;
    header.e_ehsize = sizeof header;
    header.e_shoff = file.size();
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = Elf64_Half(headers.size());
    header.e_shstrndx = 1;
    std::memcpy(file.data(), &header, sizeof header);
    const BYTE* table = reinterpret_cast<const BYTE*>(headers.data());
    file.insert(file.end(), table, table + headers.size() * sizeof(Elf64_Shdr));
    return file;
}

Bytes Block() {
    return platform::BuildVersionBlock({{0x0409, 0x04e4}, {0x0407, 0x04b0}},
                                       {{"040904e4\\OriginalFilename", "first.exe"},
                                        {"040704b0\\OriginalFilename", "second.exe"},
                                        {"040904e4\\CompanyName", ""}});
}

class VersionInfo : public ::testing::Test {
  protected:
    // Writes the bytes as a file and gives its version information size.
    DWORD SizeOf(const Bytes& file) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        DWORD handle = 7;
        DWORD size = platform::GetFileVersionInfoSizeA(path_.c_str(), &handle);
        EXPECT_EQ(handle, 0u);
        return size;
    }
    DWORD SizeOfBlock(const Bytes& block) { return SizeOf(MakeElf({{".qm_version", block}})); }

    qmtest::TempDir dir_;
    std::string path_ = dir_ / "program";
};

std::string Query(const Bytes& info, const char* subBlock) {
    void* value = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueA(info.data(), subBlock, &value, &length)) {
        return "<none>";
    }
    return std::string(static_cast<const char*>(value), length);
}

TEST_F(VersionInfo, AWellFormedSectionIsRead) {
    Bytes block = Block();
    Bytes elf = MakeElf({{".text", Bytes(40, 0x90)}, {".qm_version", block}});
    ASSERT_EQ(SizeOf(elf), block.size());
    Bytes info(block.size());
    ASSERT_TRUE(platform::GetFileVersionInfoA(path_.c_str(), 0, DWORD(info.size()), info.data()));
    EXPECT_EQ(info, block);
    EXPECT_EQ(Query(info, "\\VarFileInfo\\Translation"),
              std::string("\x09\x04\xe4\x04\x07\x04\xb0\x04", 8));
    EXPECT_EQ(Query(info, "\\StringFileInfo\\040904e4\\OriginalFilename"),
              std::string("first.exe", 10));
    EXPECT_EQ(Query(info, "\\stringfileinfo\\040704B0\\originalfilename"),
              std::string("second.exe", 11));
    EXPECT_EQ(Query(info, "\\StringFileInfo\\040904e4\\CompanyName"), std::string(1, '\0'));
    EXPECT_EQ(Query(info, "\\StringFileInfo\\040704b0\\CompanyName"), "<none>");
    EXPECT_EQ(Query(info, "\\"), "<none>");
    EXPECT_FALSE(
        platform::GetFileVersionInfoA(path_.c_str(), 0, DWORD(info.size() - 1), info.data()));
}

TEST_F(VersionInfo, ABlockWithoutTranslationsHasNoTranslationList) {
    Bytes block = platform::BuildVersionBlock({}, {{"040904e4\\OriginalFilename", "x"}});
    ASSERT_EQ(SizeOfBlock(block), block.size());
    EXPECT_EQ(Query(block, "\\VarFileInfo\\Translation"), "<none>");
}

TEST_F(VersionInfo, FilesWithoutTheSectionHaveNone) {
    EXPECT_EQ(SizeOf(MakeElf({{".text", Bytes(16, 0x90)}})), 0u);
    EXPECT_EQ(SizeOf(MakeElf({{".qm_version_other", Block()}})), 0u);
    EXPECT_EQ(SizeOf(MakeElf({{".qm_versio", Block()}})), 0u);
    EXPECT_EQ(SizeOf(Bytes{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}), 0u);
    EXPECT_EQ(SizeOf(Bytes{}), 0u);
    EXPECT_EQ(platform::GetFileVersionInfoSizeA((dir_ / "missing").c_str(), nullptr), 0u);
    EXPECT_EQ(platform::GetFileVersionInfoSizeA(dir_.path().c_str(), nullptr), 0u);
    EXPECT_EQ(platform::GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
}

TEST_F(VersionInfo, EveryTruncationOfTheBlockIsNone) {
    Bytes block = Block();
    for (std::size_t size = 0; size < block.size(); ++size) {
        EXPECT_EQ(SizeOfBlock(Bytes(block.begin(), block.begin() + long(size))), 0u) << size;
    }
}

TEST_F(VersionInfo, EveryTruncationOfTheFileIsNone) {
    Bytes elf = MakeElf({{".qm_version", Block()}});
    for (std::size_t size = 0; size < elf.size(); ++size) {
        EXPECT_EQ(SizeOf(Bytes(elf.begin(), elf.begin() + long(size))), 0u) << size;
    }
}

// The offsets of the block's fields for Block(): magic, total, translation
// bytes, two pairs, string count, then the first key's length.
constexpr std::size_t kTotal = 4;
constexpr std::size_t kTranslationBytes = 8;
constexpr std::size_t kStringCount = 20;
constexpr std::size_t kFirstKeyLength = 24;

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

TEST_F(VersionInfo, WrongLengthsAreNone) {
    Bytes block = Block();
    Bytes wrongTotal = block;
    Put32(wrongTotal, kTotal, std::uint32_t(block.size() + 1));
    EXPECT_EQ(SizeOfBlock(wrongTotal), 0u);
    Put32(wrongTotal, kTotal, 0xffffffffu);
    EXPECT_EQ(SizeOfBlock(wrongTotal), 0u);

    Bytes oddTranslations = block;
    Put32(oddTranslations, kTranslationBytes, 6);
    EXPECT_EQ(SizeOfBlock(oddTranslations), 0u);
    Put32(oddTranslations, kTranslationBytes, 0xfffffffcu);
    EXPECT_EQ(SizeOfBlock(oddTranslations), 0u);

    Bytes manyStrings = block;
    Put32(manyStrings, kStringCount, 0xffffffffu);
    EXPECT_EQ(SizeOfBlock(manyStrings), 0u);
    Put32(manyStrings, kStringCount, 2); // the third string is left over
    EXPECT_EQ(SizeOfBlock(manyStrings), 0u);

    Bytes longKey = block;
    longKey[kFirstKeyLength] = 0xff;
    longKey[kFirstKeyLength + 1] = 0xff;
    EXPECT_EQ(SizeOfBlock(longKey), 0u);
    Bytes emptyKey = block;
    emptyKey[kFirstKeyLength] = 0;
    EXPECT_EQ(SizeOfBlock(emptyKey), 0u);

    Bytes trailing = block;
    trailing.push_back(0);
    Put32(trailing, kTotal, std::uint32_t(trailing.size()));
    EXPECT_EQ(SizeOfBlock(trailing), 0u);
}

TEST_F(VersionInfo, TextsWithoutTheirTerminatorAreNone) {
    Bytes block = Block();
    std::size_t keyEnd = kFirstKeyLength + 2 + std::strlen("040904e4\\OriginalFilename");
    Bytes noTerminator = block;
    noTerminator[keyEnd] = 'X';
    EXPECT_EQ(SizeOfBlock(noTerminator), 0u);
    Bytes earlyNul = block;
    earlyNul[keyEnd - 3] = 0;
    EXPECT_EQ(SizeOfBlock(earlyNul), 0u);
    Bytes lastValue = block;
    lastValue.back() = 'X';
    EXPECT_EQ(SizeOfBlock(lastValue), 0u);
    Bytes badMagic = block;
    badMagic[0] = 'X';
    EXPECT_EQ(SizeOfBlock(badMagic), 0u);
}

Elf64_Ehdr& Header(Bytes& elf) {
    return *reinterpret_cast<Elf64_Ehdr*>(elf.data());
}

Elf64_Shdr& SectionHeader(Bytes& elf, int index) {
    return reinterpret_cast<Elf64_Shdr*>(elf.data() + Header(elf).e_shoff)[index];
}

TEST_F(VersionInfo, CraftedElfHeadersAreNone) {
    const Bytes good = MakeElf({{".qm_version", Block()}});
    ASSERT_NE(SizeOf(good), 0u);
    auto crafted = [&](auto change) {
        Bytes elf = good;
        change(elf);
        return SizeOf(elf);
    };
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_ident[EI_CLASS] = ELFCLASS32; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_ident[EI_DATA] = ELFDATA2MSB; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_shentsize = 40; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_shnum = 0; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_shnum = 0xffff; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_shstrndx = 3; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { Header(e).e_shoff = ~Elf64_Off(0) - 8; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 1).sh_offset = e.size(); }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 1).sh_size = ~Elf64_Xword(0); }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 1).sh_type = SHT_NOBITS; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 2).sh_name = 1 << 30; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 2).sh_type = SHT_NOBITS; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 2).sh_offset = ~Elf64_Off(0) - 4; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 2).sh_size += 1; }), 0u);
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 2).sh_size = 1 << 20; }), 0u);
    // The section's name runs to the end of the name table without a terminator.
    EXPECT_EQ(crafted([](Bytes& e) { SectionHeader(e, 1).sh_size -= 1; }), 0u);
}

TEST(ModuleFileName, IsTheProgramFileOfTheProcess) {
    char path[4096];
    DWORD length = platform::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string expected = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(std::string(path), expected);
    char small[8];
    EXPECT_EQ(platform::GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small), expected.substr(0, 7));
}

} // namespace
