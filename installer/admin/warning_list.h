#pragma once
// The admin command's warnings after its result: a heading, each item
// indented, and what to do about them; nothing when there are no items.

#include <cstdio>
#include <string>
#include <vector>

namespace qmadmin {

inline void PrintWarning(const char* heading, const std::vector<std::string>& items,
                         const char* advice) {
    if (items.empty()) {
        return;
    }
    std::fputs(heading, stdout);
    for (const std::string& item : items) {
        std::printf("  %s\n", item.c_str());
    }
    std::fputs(advice, stdout);
}

} // namespace qmadmin
