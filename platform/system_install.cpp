#include "platform/system_install.h"

#include "platform/hive_file.h"
#include "platform/outside_user.h"

#include <algorithm>
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

struct Account {
    uid_t uid;
    std::string name;
};

// What a look-up in the account database found, copied out of its buffer.
std::optional<Account> Found(int error, const passwd* found) {
    if (error != 0 || !found) {
        return std::nullopt;
    }
    return Account{found->pw_uid, found->pw_name};
}

std::optional<Account> AccountOf(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    int error = ::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found);
    return Found(error, found);
}

std::optional<Account> AccountNamed(const std::string& name) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    int error = ::getpwnam_r(name.c_str(), &entry, buffer, sizeof buffer, &found);
    return Found(error, found);
}

// The account that decides: the user's outside any user namespace. When a
// namespace hides who that is (or maps to an id without an account), the
// login session's recorded user decides, and a session without a record
// counts as the first filtered account's; a system service (in no session) is
// nobody's.
std::optional<Account> DecidingAccount(const std::string& firstFiltered) {
    if (std::optional<uid_t> uid = OutsideUserId()) {
        if (std::optional<Account> account = AccountOf(*uid)) {
            return account;
        }
    }
    if (!InLoginSession()) {
        return std::nullopt;
    }
    std::optional<uid_t> uid = SessionUserId();
    return uid ? AccountOf(*uid) : AccountNamed(firstFiltered);
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
    std::optional<Account> account = DecidingAccount(accounts.front());
    if (account && std::find(accounts.begin(), accounts.end(), account->name) != accounts.end()) {
        install.filtered = true;
        install.account = account->name;
        install.folder = StringValue(*settings, "Dir") + "/" + account->name;
        install.uid = account->uid;
    }
    return install;
}

} // namespace

const SystemInstall& SystemWideInstall() {
    static const SystemInstall install = Decide();
    return install;
}

uid_t AccountUserId() {
    const SystemInstall& install = SystemWideInstall();
    return install.filtered ? install.uid : ::geteuid();
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
