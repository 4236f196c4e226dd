#pragma once
// Where the code that calls it was loaded from.

#include <string>

namespace platform {

// The folder of the library (or program) this code is linked into, without a
// trailing slash; empty when it cannot be told.
std::string OwnFolder();

} // namespace platform
