#include "platform/user_name.h"

#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

BOOL GetUserNameA(char* buffer, DWORD* size) {
    if (!buffer || !size) {
        return FALSE;
    }
    std::vector<char> scratch(16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, scratch.data(), scratch.size(), &found) != 0 || !found) {
        return FALSE;
    }
    DWORD needed = DWORD(std::strlen(found->pw_name) + 1);
    if (needed > *size) {
        *size = needed;
        return FALSE;
    }
    std::memcpy(buffer, found->pw_name, needed);
    *size = needed;
    return TRUE;
}
