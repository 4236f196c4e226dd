#pragma once
// Reading the provider's log file in a test's installation folder.

#include "provider/lsp_log.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qmtest {

inline std::string ReadLog(const std::string& dir) {
    std::ifstream in(zul::LogPath(dir));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Creates dir + "/Logs" so that log lines are kept.
inline void MakeLogFolder(const std::string& dir) {
    std::filesystem::create_directories(dir + "/Logs");
}

inline bool LogHas(const std::string& dir, const std::string& text) {
    return ReadLog(dir).find(text) != std::string::npos;
}

inline int CountInLog(const std::string& dir, const std::string& text) {
    std::string log = ReadLog(dir);
    int count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace qmtest
