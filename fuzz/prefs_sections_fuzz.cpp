// The preference file as it is found on disk: its sections read for an
// identity into site entries matched against an address and into program and
// port values, from the text in memory on every run. When the input asks for
// a line added after a header that is there, the text is also written as the
// service's file, read by the service's site and program lists, the line added
// and removed again.

#include "account/site_override_lists.h"
#include "account/user_prefs.h"
#include "common/text.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/service_fixture.h"
#include "service/app_block_table.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <sstream>
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

    std::istringstream in(file);
    std::list<CSiteEntry> sites;
    for (const char* each : {"[POPUPS]", "[SOALLOWS]", "[SODENIES]"}) {
        ReadSiteLines(in, each, user, sites);
    }
    CSiteEntry site = CSiteEntry::FromAddress(address);
    for (const CSiteEntry& entry : sites) {
        entry.Matches(site);
    }
    std::vector<std::string> apps;
    std::vector<std::string> ports;
    ReadMemberValues(in, "[APPS]", user, apps);
    ReadMemberValues(in, "[PORTS]", user, ports);

    // Asked for a plain line after a header that is there: the file on disk.
    const std::string header = kHeaders[choice % 5];
    bool plain = !line.empty() && line.find_first_of("\r\n") == std::string::npos &&
                 line.find('\0') == std::string::npos;
    bool hasHeader = HasLine(file, header);
    if (!plain || !hasHeader || (choice & 0xe0) != 0xe0 || qm::EqualsNoCase(line, header)) {
        return 0;
    }
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
    // The line added after the header is found in its section; removed again,
    // it is nowhere in the file.
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
    return 0;
}
