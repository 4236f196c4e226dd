#include "service/app_block_table.h"

#include "account/user_prefs.h"
#include "common/text.h"
#include "service/app.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

constexpr unsigned kNotifyMs = 5000;

// Decimal port text; text that is not a number (or is out of range) gives 0.
int PortNumber(const std::string& text) {
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return 0;
    }
    return int(value);
}

// A value "program,display name" of a program line: the program in lower case.
CBlockEntry ProgramEntry(const std::string& value) {
    std::size_t comma = value.find(',');
    std::string display = comma == std::string::npos ? std::string() : value.substr(comma + 1);
    return CBlockEntry{false, 0, qm::ToLower(value.substr(0, comma)), display};
}

// A value "port,display name" of a port line.
CBlockEntry PortEntry(const std::string& value) {
    std::size_t comma = value.find(',');
    std::string display = comma == std::string::npos ? std::string() : value.substr(comma + 1);
    return CBlockEntry{false, PortNumber(value.substr(0, comma)), "", display};
}

// Fills the list from the section's lines for the identity; the built-in list
// when the file or the section is missing.
void ReadList(CUserPrefs& prefs, const char* header, const std::string& user,
              const std::string& password, CBlockEntry (*entry)(const std::string&),
              void (*builtIn)(CBlockList&), CBlockList& list) {
    std::vector<std::string> values;
    if (!prefs.ReadMemberLines(header, user, password, values)) {
        builtIn(list);
        return;
    }
    for (const std::string& value : values) {
        list.Add(entry(value));
    }
}

} // namespace

void CAppBlockTable::Load(const std::string& user, const std::string& password, CUserPrefs& prefs) {
    CBlockList programs;
    ReadList(prefs, "[APPS]", user, password, ProgramEntry, AddBuiltInPrograms, programs);
    CBlockList ports;
    ReadList(prefs, "[PORTS]", user, password, PortEntry, AddBuiltInPorts, ports);

    std::lock_guard<std::mutex> guard(lock_);
    programs_ = std::move(programs);
    ports_ = std::move(ports);
}

bool CAppBlockTable::IsBlocked(const std::string& request) {
    std::size_t comma = request.find(',');
    std::string portText;
    std::string program = request;
    if (comma != std::string::npos) {
        portText = comma > 3 ? request.substr(3, comma - 3) : std::string();
        program = request.substr(comma + 1);
    }

    std::string notification;
    bool notify = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto entry = std::find_if(programs_.begin(), programs_.end(), [&](const CBlockEntry& e) {
            return qm::EqualsNoCase(e.program, program);
        });
        if (entry == programs_.end()) {
            int port = PortNumber(portText);
            entry = std::find_if(ports_.begin(), ports_.end(),
                                 [&](const CBlockEntry& e) { return e.port == port; });
            if (entry == ports_.end()) {
                return false;
            }
        }
        if (!entry->notified) {
            notification = entry->displayName + "<BR>has been <B>blocked</B>!";
            entry->notified = notify = true;
        }
    }
    if (notify) {
        AppNotify(kNotifyMs, notification);
    }
    return true;
}
