#include "installer/admin/activation.h"

#include "common/wide.h"
#include "installer/admin/powerful_accounts.h"
#include "installer/admin/preload_list.h"
#include "installer/admin/provider_setup.h"
#include "installer/admin/sandboxed_apps.h"
#include "installer/admin/system_files.h"
#include "installer/admin/system_paths.h"
#include "installer/auth_codes.h"
#include "platform/registry.h"
#include "platform/system_install.h"

#include <algorithm>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qmadmin {
namespace {

const std::string kMachineHive =
    std::string(platform::kMachineSettingsDir) + "/HKEY_LOCAL_MACHINE.reg";
const std::string kHiveBefore = std::string(kStateFolder) + "/machine-hive.before";
const std::string kNoSettingsBefore = std::string(kStateFolder) + "/no-settings-folder.before";
const std::string kNoPreloadBefore = std::string(kStateFolder) + "/no-preload.before";

int Refuse(const std::string& message) {
    std::fprintf(stderr, "quellmark-admin: %s\n", message.c_str());
    return 1;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

std::string SocketHostLine() {
    return ProgramFolder() + "/libsockhost.so";
}

std::string ReadSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, platform::kSettingsKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

bool WriteSettings(const std::vector<std::pair<std::string, std::string>>& values) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, value] : values) {
        ok = ok && RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                  DWORD(value.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    // Every filtered process reads the machine settings; only root writes them.
    return ok && ::chmod(platform::kMachineSettingsDir, 0755) == 0 &&
           ::chmod(kMachineHive.c_str(), 0644) == 0;
}

std::string JoinAccounts(std::vector<std::string> accounts) {
    std::string text;
    for (const std::string& account : accounts) {
        text += (text.empty() ? "" : ",") + account;
    }
    return text;
}

// Records, once, what the first activation is about to change.
bool RecordStateBefore() {
    if (Exists(kStateFolder)) {
        return true;
    }
    bool hadSettings = Exists(platform::kMachineSettingsDir);
    if (!MakeFolder(platform::kMachineSettingsDir, 0, 0, 0755) ||
        !MakeFolder(kStateFolder, 0, 0, 0700)) {
        return false;
    }
    bool ok = true;
    if (!hadSettings) {
        ok = ReplaceWhole(kNoSettingsBefore, "", 0600);
    } else if (auto hive = ReadWhole(kMachineHive)) {
        ok = ReplaceWhole(kHiveBefore, *hive, 0600);
    }
    if (ok && !Exists(kPreloadFile)) {
        ok = ReplaceWhole(kNoPreloadBefore, "", 0600);
    }
    return ok;
}

bool MakeAccountFolder(const passwd& account) {
    std::string folder = std::string(kDataRoot) + "/" + account.pw_name;
    std::string programs = ProgramFolder();
    // Root owns the folder; the account may add and replace its own files in it
    // (user.prefs, its user hive) but, the folder being sticky, never remove or
    // replace the program links that root put there.
    return MakeFolder(folder, 0, account.pw_gid, 01770) &&
           MakeLink(folder + "/KOVARI", programs + "/KOVARI") &&
           MakeLink(folder + "/resources", programs + "/resources") &&
           MakeLink(folder + "/splash", programs + "/splash") &&
           MakeFolder(folder + "/Logs", account.pw_uid, account.pw_gid, 0700);
}

std::string AutostartEntry() {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quellmark family filter\n"
           "Comment=The family filter of the accounts it filters\n"
           "Exec=" +
           ProgramFolder() +
           "/KOVARI --autostart\n"
           "Icon=quellmark\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AddPreloadLine() {
    std::string text = ReadWhole(kPreloadFile).value_or("");
    std::optional<std::string> changed = WithLine(text, SocketHostLine());
    return !changed || ReplaceWhole(kPreloadFile, *changed, 0644);
}

bool RemovePreloadLine() {
    std::optional<std::string> text = ReadWhole(kPreloadFile);
    if (!text) {
        return true;
    }
    std::optional<std::string> changed = WithoutLine(*text, SocketHostLine());
    if (!changed) {
        return true;
    }
    if (changed->empty() && Exists(kNoPreloadBefore)) {
        return ::unlink(kPreloadFile) == 0;
    }
    return ReplaceWhole(kPreloadFile, *changed, 0644);
}

// Puts the machine settings back as the first activation found them.
bool RestoreSettings() {
    if (!Exists(kStateFolder)) {
        return true;
    }
    if (Exists(kNoSettingsBefore)) {
        return RemoveAll(platform::kMachineSettingsDir);
    }
    std::optional<std::string> before = ReadWhole(kHiveBefore);
    bool ok = before ? ReplaceWhole(kMachineHive, *before, 0644) : RemoveAll(kMachineHive);
    return RemoveAll(kStateFolder) && ok;
}

bool IsActive() {
    std::string text = ReadWhole(kPreloadFile).value_or("");
    return !platform::SplitAccounts(ReadSetting(platform::kFilteredAccountsValue)).empty() ||
           WithoutLine(text, SocketHostLine()).has_value() || Exists(kStateFolder) ||
           Exists(kAutostartFile) || Exists(kDataRoot);
}

bool Undo() {
    bool ok = RemovePreloadLine();
    ok = RemoveAll(kAutostartFile) && ok;
    ok = RemoveAll(kDataRoot) && ok;
    return RestoreSettings() && ok;
}

} // namespace

int Activate(const ActivateOptions& options) {
    if (!IsRoot()) {
        return Refuse("activation changes the whole computer: run it as root "
                      "(sudo quellmark-admin activate ...)");
    }
    std::vector<passwd> accounts;
    for (const std::string& name : options.accounts) {
        const passwd* entry = ::getpwnam(name.c_str());
        if (!entry) {
            return Refuse("there is no account named \"" + name + "\" on this computer");
        }
        if (entry->pw_uid == 0) {
            return Refuse("\"" + name + "\" is the administrator's account and is never filtered");
        }
        accounts.push_back(*entry);
    }
    if (!qm::IsInstallCode(options.installId, options.code)) {
        return Refuse("the install code does not belong to install id \"" + options.installId +
                      "\"; nothing was changed");
    }
    std::string missing = MissingPrograms();
    if (!missing.empty()) {
        return Refuse("the installation in " + ProgramFolder() + " is incomplete (" + missing +
                      " missing); nothing was changed");
    }
    bool firstTime = !Exists(kStateFolder);
    std::optional<std::string> hiveBefore = ReadWhole(kMachineHive);
    std::vector<std::string> newFolders;
    for (const passwd& account : accounts) {
        std::string folder = std::string(kDataRoot) + "/" + account.pw_name;
        if (!Exists(folder)) {
            newFolders.push_back(folder);
        }
    }
    std::vector<std::string> filtered =
        platform::SplitAccounts(ReadSetting(platform::kFilteredAccountsValue));
    for (const std::string& name : options.accounts) {
        if (std::find(filtered.begin(), filtered.end(), name) == filtered.end()) {
            filtered.push_back(name);
        }
    }
    std::string title = !options.title.empty()              ? options.title
                        : !ReadSetting("MainTitle").empty() ? ReadSetting("MainTitle")
                                                            : "Filter Administrator";
    std::vector<std::pair<std::string, std::string>> values = {
        {"Dir", kDataRoot}, {"MainTitle", title}, {"FilteredAccounts", JoinAccounts(filtered)}};
    if (!options.accountServer.empty()) {
        values.push_back({"AccountServer", options.accountServer});
    }
    if (!options.accountServerCa.empty()) {
        values.push_back({"AccountServerCAFile", options.accountServerCa});
    }
    if (!options.blockPage.empty()) {
        values.push_back({"BlockPage", options.blockPage});
    }
    std::string failed;
    if (!RecordStateBefore()) {
        failed = "could not record the settings found before";
    } else if (!WriteSettings(values)) {
        failed =
            "could not write the machine settings in " + std::string(platform::kMachineSettingsDir);
    } else if (std::string error = InstallProvider(options.installId, options.code);
               !error.empty()) {
        failed = error;
    } else if (!MakeFolder(kDataRoot, 0, 0, 0755)) {
        failed = "could not make " + std::string(kDataRoot);
    } else if (!MakeFolder("/etc/xdg/autostart", 0, 0, 0755) ||
               !ReplaceWhole(kAutostartFile, AutostartEntry(), 0644)) {
        failed = "could not write " + std::string(kAutostartFile);
    }
    for (const passwd& account : accounts) {
        if (failed.empty() && !MakeAccountFolder(account)) {
            failed = "could not make the folder of " + std::string(account.pw_name);
        }
    }
    if (failed.empty() && !AddPreloadLine()) {
        failed = "could not add the socket host to " + std::string(kPreloadFile);
    }
    if (!failed.empty()) {
        if (firstTime) {
            Undo();
        } else {
            // Active before: only this run's changes are taken back.
            if (hiveBefore) {
                ReplaceWhole(kMachineHive, *hiveBefore, 0644);
            }
            for (const std::string& folder : newFolders) {
                RemoveAll(folder);
            }
        }
        return Refuse(failed + "; what was changed has been taken back");
    }
    std::printf("Filtering is active for: %s\n", JoinAccounts(filtered).c_str());
    WarnOfSandboxedApps(filtered);
    WarnOfPowerfulAccounts(filtered);
    return 0;
}

int Deactivate(const DeactivateOptions& options) {
    if (!IsRoot()) {
        return Refuse("deactivation changes the whole computer: run it as root "
                      "(sudo quellmark-admin deactivate ...)");
    }
    if (!qm::IsRemovalCode(options.first, options.second, options.code)) {
        return Refuse("the removal code is wrong (a removal code holds for the day it was "
                      "made); nothing was changed");
    }
    if (!IsActive()) {
        std::printf("Filtering is not active; nothing to remove.\n");
        return 0;
    }
    if (std::string error = UninstallProvider(options.first, options.second, options.code);
        !error.empty()) {
        return Refuse(error + "; nothing was changed");
    }
    if (!Undo()) {
        return Refuse("some of the filter's files could not be removed; run deactivate again");
    }
    std::printf("Filtering is no longer active on this computer.\n");
    return 0;
}

int Status() {
    std::string accounts = ReadSetting(platform::kFilteredAccountsValue);
    std::string text = ReadWhole(kPreloadFile).value_or("");
    bool preloaded = WithoutLine(text, SocketHostLine()).has_value();
    if (accounts.empty() && !preloaded) {
        std::printf("Filtering is not active.\n");
        return 3;
    }
    std::printf("Filtered accounts: %s\nSocket host in %s: %s\n", accounts.c_str(), kPreloadFile,
                preloaded ? "yes" : "no");
    WarnOfSandboxedApps(platform::SplitAccounts(accounts));
    WarnOfPowerfulAccounts(platform::SplitAccounts(accounts));
    return 0;
}

} // namespace qmadmin
