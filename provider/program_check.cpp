#include "provider/program_check.h"

#include "platform/version_info.h"
#include "provider/lsp_log.h"
#include "provider/provider_settings.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace zul {
namespace {

constexpr const char* kPlace = "WSPConnect";

void Log(const char* message) {
    const ProviderSettings& settings = ProcessSettings();
    WriteLog(settings.dir, settings.debugLevel, kPlace, message, 1);
}

// The names recorded in the program's version information, one per
// translation; none where a translation records no name. False when the
// program has no version information.
bool RecordedNames(const char* path, std::vector<std::optional<std::string>>& names) {
    DWORD handle = 0;
    DWORD size = platform::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) {
        Log("Unable to size of files version info structure");
        return false;
    }
    std::vector<BYTE> info(size);
    if (!platform::GetFileVersionInfoA(path, handle, size, info.data())) {
        Log("Getting file properties FAILED!");
        return false;
    }
    void* pairs = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &pairs, &length)) {
        Log("Getting translation info failed");
        length = 0;
    }
    for (UINT at = 0; at + 4 <= length; at += 4) {
        WORD translation[2];
        std::memcpy(translation, static_cast<const BYTE*>(pairs) + at, sizeof translation);
        char query[64];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\OriginalFilename",
                      translation[0], translation[1]);
        void* name = nullptr;
        UINT nameLength = 0;
        if (platform::VerQueryValueA(info.data(), query, &name, &nameLength)) {
            names.emplace_back(static_cast<const char*>(name));
        } else {
            names.emplace_back();
        }
    }
    return true;
}

// Asks once per recorded name; true on the first refusal. last tells whether
// the last translation recorded a name.
bool AskByRecordedNames(CInformant& informant, int port,
                        const std::vector<std::optional<std::string>>& names, bool& last) {
    last = false;
    for (const std::optional<std::string>& name : names) {
        last = name.has_value();
        if (!last) {
            Log("No Filename was found!");
        } else if (name->find("KOVARI.EXE") == std::string::npos &&
                   informant.IsConnectionBlocked(port, name->c_str())) {
            Log("BLOCKING APPLICATION");
            return true;
        }
    }
    return false;
}

} // namespace

bool IsProgramRefused(CInformant& informant, int port) {
    if (port == kChannelPort) {
        return false;
    }
    char path[PATH_MAX] = {};
    DWORD length = platform::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        Log("Unable to get filename of calling application");
        path[0] = '\0'; // the port alone decides
    } else {
        std::vector<std::optional<std::string>> names;
        bool lastFound = false;
        if (RecordedNames(path, names)) {
            if (AskByRecordedNames(informant, port, names, lastFound)) {
                return true;
            }
            if (lastFound) {
                return false;
            }
        }
    }
    const char* slash = std::strrchr(path, '/');
    if (informant.IsConnectionBlocked(port, slash ? slash + 1 : path)) {
        Log("BLOCKING APPLICATION ON PORT AND APP NAME");
        return true;
    }
    return false;
}

} // namespace zul
