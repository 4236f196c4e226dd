// A control message line sent to the service's window: three numbers, which
// read back as written.

#include "platform/presence.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    if (!platform::ParseControlMessage(line, message, wParam, lParam)) {
        return 0;
    }
    char again[96];
    std::snprintf(again, sizeof again, "%u %lu %ld", message, static_cast<unsigned long>(wParam),
                  static_cast<long>(lParam));
    UINT m = 0;
    WPARAM w = 0;
    LPARAM l = 0;
    if (!platform::ParseControlMessage(again, m, w, l) || m != message || w != wParam ||
        l != lParam) {
        std::abort();
    }
    return 0;
}
