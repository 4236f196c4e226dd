// The preference file as it is found on disk: its sections read for an
// identity into the site lists and the program and port lists, and a line
// added after a header and removed again.

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "common/text.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/service_fixture.h"
#include "service/app_block_table.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kHeaders[] = {"[POPUPS]", "[PORTS]", "[APPS]", "[SOALLOWS]", "[SODENIES]"};

bool HasLine(const std::string& text, const std::string& wanted) {
    for (const std::string& line : SplitLines(text)) {
        if (qm::EqualsNoCase(line, wanted)) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ServiceFixture::Get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint8_t choice = input.Byte();
    std::string named = input.Part();
    std::string address = input.Part();
    std::string line = input.Part();
    std::string file = input.Rest();
    const std::string user = named.empty() ? std::string(1, '*') : named;
    const fuzz::ServiceFixture& fixture = fuzz::ServiceFixture::Get();
    fixture.WritePreferences(file);

    CUserPrefs prefs;
    CSiteOverrideLists lists;
    lists.Load(user, "pw", prefs);
    lists.OnAllowList(address);
    lists.OnDenyList(address);
    lists.OnPopupAllowList(address);
    CAppBlockTable table;
    table.Load(user, "pw", prefs);

    // A plain line added after a header that is there is found in its section;
    // removed again, it is nowhere in the file.
    const std::string header = kHeaders[choice % 5];
    bool plain = !line.empty() && line.find_first_of("\r\n") == std::string::npos &&
                 line.find('\0') == std::string::npos;
    bool hasHeader = HasLine(file, header);
    if (plain && hasHeader && (choice & 0x80) && !qm::EqualsNoCase(line, header)) {
        if (!prefs.AddLine(header, line) || !HasLine(prefs.SectionText(header), line)) {
            std::abort();
        }
        if (!prefs.RemoveLine(line)) {
            std::abort();
        }
        for (const char* each : kHeaders) {
            if (HasLine(prefs.SectionText(each), line)) {
                std::abort();
            }
        }
    }
    return 0;
}
