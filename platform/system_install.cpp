#include "platform/system_install.h"

#include "platform/hive_file.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Trim(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    std::size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

std::string StringValue(const hive::Key& key, std::string_view name) {
    const hive::Value* value = hive::FindValue(key, name);
    return value ? value->data.c_str() : std::string();
}

SystemInstall Decide() {
    SystemInstall install;
    std::string path = std::string(kMachineSettingsDir) + "/HKEY_LOCAL_MACHINE.reg";
    std::shared_ptr<const hive::Hive> machine = ReadHiveFile(path, "HKEY_LOCAL_MACHINE");
    const hive::Key* settings = machine->Find(kSettingsKey);
    if (!settings || settings->damaged) {
        return install;
    }
    std::vector<std::string> accounts =
        SplitAccounts(StringValue(*settings, kFilteredAccountsValue));
    install.active = !accounts.empty();
    if (!install.active) {
        return install;
    }
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found) {
        return install;
    }
    for (const std::string& account : accounts) {
        if (account == found->pw_name) {
            install.filtered = true;
            install.account = account;
            install.folder = StringValue(*settings, "Dir") + "/" + account;
        }
    }
    return install;
}

} // namespace

const SystemInstall& SystemWideInstall() {
    static const SystemInstall install = Decide();
    return install;
}

std::vector<std::string> SplitAccounts(std::string_view text) {
    std::vector<std::string> accounts;
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string name = Trim(text.substr(0, comma));
        if (!name.empty()) {
            accounts.push_back(name);
        }
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return accounts;
}

std::string InstallFolderFor(const std::string& dir) {
    const SystemInstall& install = SystemWideInstall();
    return install.filtered ? install.folder : dir;
}

bool HasDesktopSession() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value && *value) {
            return true;
        }
    }
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return type && (std::string_view(type) == "x11" || std::string_view(type) == "wayland");
}

} // namespace platform
