// Writes a version information block for the ".qm_version" section of a
// program at build time:
//   qm_version_block OUTPUT [--translation LLLL:CCCC]... [--string KEY=VALUE]...
// LLLL and CCCC are the language and code page in hexadecimal; KEY is the path
// below "\StringFileInfo\", e.g. 040904e4\OriginalFilename.
#include "platform/version_block.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool ParseTranslation(const char* text, platform::VersionTranslation& out) {
    unsigned language = 0;
    unsigned codePage = 0;
    char end = 0;
    if (std::sscanf(text, "%4x:%4x%c", &language, &codePage, &end) != 2) {
        return false;
    }
    out = {WORD(language), WORD(codePage)};
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<platform::VersionTranslation> translations;
    std::vector<std::pair<std::string, std::string>> strings;
    for (int i = 2; i + 1 < argc; i += 2) {
        platform::VersionTranslation translation{};
        const char* equals = std::strchr(argv[i + 1], '=');
        if (std::strcmp(argv[i], "--translation") == 0 &&
            ParseTranslation(argv[i + 1], translation)) {
            translations.push_back(translation);
        } else if (std::strcmp(argv[i], "--string") == 0 && equals) {
            strings.emplace_back(std::string(argv[i + 1], std::size_t(equals - argv[i + 1])),
                                 std::string(equals + 1));
        } else {
            std::fprintf(stderr, "qm_version_block: bad argument %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
    }
    if (argc < 2 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: qm_version_block OUTPUT [--translation LLLL:CCCC]... "
                             "[--string KEY=VALUE]...\n");
        return 2;
    }
    std::vector<BYTE> block = platform::BuildVersionBlock(translations, strings);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(block.data(), 1, block.size(), out) != block.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "qm_version_block: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
