#include "platform/user_name.h"

#include "platform/system_install.h"

#include <atomic>
#include <cstring>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The name of one effective user id, looked up once per process and user id.
// Each lookup is published as a new record that keeps its predecessor; a
// record is never changed or freed, so readers need no lock and a forked
// child inherits valid ones.
struct NamedUser {
    uid_t uid;
    bool found;
    std::string name;
    const NamedUser* previous;
};

std::atomic<const NamedUser*> gLatest{nullptr};

const NamedUser* LookUp(uid_t uid) {
    const NamedUser* latest = gLatest.load(std::memory_order_acquire);
    for (const NamedUser* known = latest; known; known = known->previous) {
        if (known->uid == uid) {
            return known;
        }
    }
    std::vector<char> scratch(16384);
    passwd entry;
    passwd* found = nullptr;
    bool ok = ::getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found) == 0 && found;
    auto* record = new NamedUser{uid, ok, ok ? found->pw_name : "", latest};
    while (!gLatest.compare_exchange_weak(record->previous, record, std::memory_order_acq_rel)) {
    }
    return record;
}

} // namespace

BOOL GetUserNameA(char* buffer, DWORD* size) {
    if (!buffer || !size) {
        return FALSE;
    }
    // A filtered process goes by its account, also in a user namespace of its
    // own where it sees itself as root or nobody.
    const NamedUser* user = LookUp(platform::AccountUserId());
    if (!user->found) {
        return FALSE;
    }
    DWORD needed = DWORD(user->name.size() + 1);
    if (needed > *size) {
        *size = needed;
        return FALSE;
    }
    std::memcpy(buffer, user->name.c_str(), needed);
    *size = needed;
    return TRUE;
}
