#pragma once
// Reading single settings values from an open registry key.

#include "platform/registry.h"

#include <string>

// Reads a string value into a buffer of the given size; false when it is
// missing, not a string, or does not fit.
bool ReadStringValue(HKEY key, const char* name, DWORD bufferSize, std::string& out);

// Reads a 4-byte value; 0 when it is missing or of another size.
DWORD ReadDwordValue(HKEY key, const char* name);
