#include "installer/admin/sandboxed_apps.h"

#include "installer/admin/warning_list.h"

#include <algorithm>
#include <filesystem>
#include <pwd.h>
#include <set>

namespace qmadmin {
namespace {

// Flatpak keeps one folder per installed program; Snap one menu entry
// "<snap>_<app>.desktop" per program that a desktop can start.
constexpr char kSystemFlatpaks[] = "/var/lib/flatpak/app";
constexpr char kUserFlatpaks[] = "/.local/share/flatpak/app";
constexpr char kSnapMenuEntries[] = "/var/lib/snapd/desktop/applications";

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    return names;
}

} // namespace

std::vector<std::string> SandboxedApps(const std::vector<std::string>& accounts) {
    std::set<std::string> found;
    for (const std::string& app : Entries(kSystemFlatpaks)) {
        found.insert(app + " (Flatpak)");
    }
    for (const std::string& account : accounts) {
        const passwd* entry = ::getpwnam(account.c_str());
        if (!entry || !entry->pw_dir) {
            continue;
        }
        for (const std::string& app : Entries(std::string(entry->pw_dir) + kUserFlatpaks)) {
            found.insert(app + " (Flatpak of " + account + ")");
        }
    }
    for (const std::string& menuEntry : Entries(kSnapMenuEntries)) {
        if (menuEntry.ends_with(".desktop")) {
            found.insert(menuEntry.substr(0, menuEntry.find('_')) + " (Snap)");
        }
    }
    return {found.begin(), found.end()};
}

void WarnOfSandboxedApps(const std::vector<std::string>& accounts) {
    PrintWarning("Not filtered: these programs are installed as Flatpak or Snap packages, which\n"
                 "run apart from the computer's own libraries, so the filter never sees their\n"
                 "connections (where it can, it stops them from starting for the filtered\n"
                 "accounts):\n",
                 SandboxedApps(accounts),
                 "Remove them, or install the same programs from the distribution's own\n"
                 "packages, for the filtered accounts to be filtered in them too.\n");
}

} // namespace qmadmin
