#include "installer/admin/preload_list.h"

namespace qmadmin {
namespace {

bool Contains(const std::string& text, const std::string& line) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t length = (end == std::string::npos ? text.size() : end) - start;
        if (text.compare(start, length, line) == 0) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

std::optional<std::string> WithLine(const std::string& text, const std::string& line) {
    if (Contains(text, line)) {
        return std::nullopt;
    }
    return line + "\n" + text;
}

std::optional<std::string> WithoutLine(const std::string& text, const std::string& line) {
    std::string kept;
    bool removed = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == std::string::npos ? text.size() : end + 1;
        std::size_t length = (end == std::string::npos ? text.size() : end) - start;
        if (text.compare(start, length, line) == 0) {
            removed = true;
        } else {
            kept.append(text, start, next - start);
        }
        start = next;
    }
    if (!removed) {
        return std::nullopt;
    }
    return kept;
}

} // namespace qmadmin
