#pragma once
// Fields of an account server answer: a key between vertical bars, then the
// value up to the next "<BR>".

#include <string>
#include <string_view>

// The value of the first occurrence of key (bars included, case matters); empty
// when the key is missing or no "<BR>" follows it.
std::string GetAnswerField(std::string_view answer, std::string_view key);

// A decimal field read as a leading integer (white space and sign allowed, no digits give 0).
long long AnswerNumber(std::string_view value);
