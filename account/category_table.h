#pragma once
// Names of the 64 content categories of a category mask, by bit number, each
// ending with one blank; unused bits have empty names. Used only for the log.

#include <cstdint>
#include <string>

const char* CategoryName(int bit);
// The names of the mask's set bits, one after another.
std::string CategoryNames(std::uint64_t mask);
