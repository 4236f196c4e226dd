#include "installer/admin/powerful_accounts.h"

#include "installer/admin/warning_list.h"

#include <algorithm>
#include <grp.h>
#include <iterator>
#include <pwd.h>

namespace qmadmin {
namespace {

constexpr const char* kPowerfulGroups[] = {"root",   "sudo", "admin",       "wheel",
                                           "docker", "lxd",  "incus-admin", "libvirt"};

bool IsPowerful(const char* group) {
    return std::any_of(std::begin(kPowerfulGroups), std::end(kPowerfulGroups),
                       [group](const char* name) { return std::string(group) == name; });
}

// The names of the powerful groups the account belongs to, ", " between them.
std::string PowerfulGroupsOf(const passwd& account) {
    int count = 64;
    auto groups = std::vector<gid_t>(std::size_t(count));
    if (::getgrouplist(account.pw_name, account.pw_gid, groups.data(), &count) < 0) {
        groups.resize(std::size_t(count));
        ::getgrouplist(account.pw_name, account.pw_gid, groups.data(), &count);
    }
    groups.resize(std::size_t(std::max(count, 0)));
    std::string names;
    for (gid_t id : groups) {
        const group* entry = ::getgrgid(id);
        if (entry && IsPowerful(entry->gr_name)) {
            names += (names.empty() ? "" : ", ") + std::string(entry->gr_name);
        }
    }
    return names;
}

} // namespace

std::vector<std::string> PowerfulAccounts(const std::vector<std::string>& accounts) {
    std::vector<std::string> found;
    for (const std::string& name : accounts) {
        const passwd* entry = ::getpwnam(name.c_str());
        if (!entry) {
            continue;
        }
        std::string groups = PowerfulGroupsOf(*entry);
        if (!groups.empty()) {
            found.push_back(name + " (" + groups + ")");
        }
    }
    return found;
}

void WarnOfPowerfulAccounts(const std::vector<std::string>& accounts) {
    PrintWarning("Can act as root, and so take the filter off: these filtered accounts belong\n"
                 "to groups that administer the computer or run what their members ask as root:\n",
                 PowerfulAccounts(accounts),
                 "Take them out of those groups (sudo gpasswd -d ACCOUNT GROUP) for the filter\n"
                 "to hold.\n");
}

} // namespace qmadmin
