#include "provider/program_check.h"

#include "platform/channel_port.h"
#include "platform/version_info.h"
#include "provider/lsp_log.h"
#include "provider/provider_settings.h"
#include "provider/sock_info.h"

#include <atomic>
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

// What names the program: its path and what its version information records.
// Read once per process (a forked child runs the same program; an exec starts
// a new process), with the failures met on the way, which every check logs.
struct ProgramIdentity {
    bool pathFound = false;
    std::string path;
    const char* versionFailure = nullptr; // no version information: why
    bool translationFailed = false;
    std::vector<std::optional<std::string>> names; // one per translation
};

// The names recorded in the program's version information, one per
// translation; none where a translation records no name.
void ReadRecordedNames(ProgramIdentity& identity) {
    const char* path = identity.path.c_str();
    DWORD handle = 0;
    DWORD size = platform::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) {
        identity.versionFailure = "Unable to size of files version info structure";
        return;
    }
    std::vector<BYTE> info(size);
    if (!platform::GetFileVersionInfoA(path, handle, size, info.data())) {
        identity.versionFailure = "Getting file properties FAILED!";
        return;
    }
    void* pairs = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &pairs, &length)) {
        identity.translationFailed = true;
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
            identity.names.emplace_back(static_cast<const char*>(name));
        } else {
            identity.names.emplace_back();
        }
    }
}

const ProgramIdentity* ReadIdentity() {
    auto* identity = new ProgramIdentity;
    char path[PATH_MAX] = {};
    DWORD length = platform::GetModuleFileNameA(nullptr, path, sizeof path);
    identity->pathFound = length != 0 && length < sizeof path;
    if (identity->pathFound) {
        identity->path = path;
        ReadRecordedNames(*identity);
    }
    return identity;
}

// The process's identity, read at the first check. Threads that race the first
// read each read it; one copy is kept for good and the others are freed.
const ProgramIdentity& Identity() {
    static std::atomic<const ProgramIdentity*> known{nullptr};
    const ProgramIdentity* identity = known.load(std::memory_order_acquire);
    if (!identity) {
        const ProgramIdentity* read = ReadIdentity();
        if (known.compare_exchange_strong(identity, read, std::memory_order_acq_rel)) {
            identity = read;
        } else {
            delete read;
        }
    }
    return *identity;
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

WORD PortOf(const sockaddr* address, int length) {
    if (!address || length < 4) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(address);
    return WORD((bytes[2] << 8) | bytes[3]);
}

bool IsConnectRefused(CInformant& informant, SOCK_INFO* context, const sockaddr* to, int toLength,
                      int* lpErrno) {
    WORD port = PortOf(to, toLength);
    if (IsProgramRefused(informant, port)) {
        *lpErrno = WSAECONNREFUSED;
        return true;
    }
    context->PeerPort = port;
    return false;
}

bool IsProgramRefused(CInformant& informant, int port) {
    if (port == kChannelPort ||
        (platform::MayBeChannelPort(port) && port == platform::ChannelPort())) {
        return false; // the channel itself
    }
    const ProgramIdentity& identity = Identity();
    if (!identity.pathFound) {
        Log("Unable to get filename of calling application"); // the port alone decides
    } else if (identity.versionFailure) {
        Log(identity.versionFailure);
    } else {
        if (identity.translationFailed) {
            Log("Getting translation info failed");
        }
        bool lastFound = false;
        if (AskByRecordedNames(informant, port, identity.names, lastFound)) {
            return true;
        }
        if (lastFound) {
            return false;
        }
    }
    const char* path = identity.path.c_str();
    const char* slash = std::strrchr(path, '/');
    if (informant.IsConnectionBlocked(port, slash ? slash + 1 : path)) {
        Log("BLOCKING APPLICATION ON PORT AND APP NAME");
        return true;
    }
    return false;
}

} // namespace zul
