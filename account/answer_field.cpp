#include "account/answer_field.h"

#include <cstdlib>
#include <string>

std::string GetAnswerField(std::string_view answer, std::string_view key) {
    std::size_t at = answer.find(key);
    if (at == std::string_view::npos) {
        return {};
    }
    std::size_t start = at + key.size();
    std::size_t end = answer.find("<BR>", start);
    if (end == std::string_view::npos) {
        return {};
    }
    return std::string(answer.substr(start, end - start));
}

long long AnswerNumber(std::string_view value) {
    std::string text(value);
    return std::strtoll(text.c_str(), nullptr, 10);
}
