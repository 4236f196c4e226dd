// A hive file in its REGEDIT4 text form: what the reader accepts whole, the
// writer writes back so that reading it again gives the same keys and values
// and writing that gives the same text.

#include "fuzz/fuzz_input.h"
#include "platform/registry_hive.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using platform::hive::Hive;

bool SameKeys(const Hive& a, const Hive& b) {
    if (a.keys.size() != b.keys.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        const auto& x = a.keys[k];
        const auto& y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size()) {
            return false;
        }
        for (std::size_t v = 0; v < x.values.size(); ++v) {
            if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
                x.values[v].data != y.values[v].data) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const char* root = input.Byte() & 1 ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    std::string path = input.Part();
    std::string text = input.Rest();

    Hive hive = platform::hive::Parse(text, root);
    hive.HasSubkeys(path);
    hive.Subkeys(path);
    if (const auto* key = hive.Find(path)) {
        platform::hive::FindValue(*key, "");
    }
    if (hive.damaged) {
        return 0; // never written back
    }
    std::string written = platform::hive::Format(hive, root);
    Hive again = platform::hive::Parse(written, root);
    if (again.damaged || !SameKeys(hive, again) || platform::hive::Format(again, root) != written) {
        std::abort();
    }
    // A key the registry calls may create (no control characters in its name)
    // is there when the hive is read back.
    bool creatable = !path.empty() && std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20;
    });
    if (creatable) {
        hive.Create(path);
        Hive created = platform::hive::Parse(platform::hive::Format(hive, root), root);
        if (created.damaged || !created.Find(path)) {
            std::abort();
        }
    }
    return 0;
}
