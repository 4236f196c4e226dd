#include "platform/outside_user.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The kernel gives the initial user namespace this fixed number.
constexpr std::string_view kInitialUserNamespace = "user:[4026531837]";
constexpr unsigned long kNoSession = 4294967295UL;

// `uid` mapped through the lines "inside outside count" of /proc/self/uid_map.
std::optional<uid_t> MappedOut(uid_t uid) {
    FILE* map = std::fopen("/proc/self/uid_map", "re");
    if (!map) {
        return std::nullopt;
    }
    std::optional<uid_t> outside;
    unsigned long inside = 0, outsideFirst = 0, count = 0;
    while (!outside && std::fscanf(map, "%lu %lu %lu", &inside, &outsideFirst, &count) == 3) {
        if (uid >= inside && uid - inside < count) {
            outside = uid_t(outsideFirst + (uid - inside));
        }
    }
    std::fclose(map);
    return outside;
}

// Whether a file was mounted over the path (it is the root of a mount).
bool IsMountedOver(const std::string& path) {
    struct statx info {};
    return ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &info) == 0 &&
           (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// The audit session's number; nullopt when it cannot be read.
std::optional<unsigned long> SessionId() {
    FILE* file = std::fopen("/proc/self/sessionid", "re");
    if (!file) {
        return std::nullopt;
    }
    unsigned long session = kNoSession;
    bool read = std::fscanf(file, "%lu", &session) == 1;
    std::fclose(file);
    return read ? std::optional(session) : std::nullopt;
}

} // namespace

bool InInitialUserNamespace() {
    char link[64] = {};
    ssize_t length = ::readlink("/proc/self/ns/user", link, sizeof link - 1);
    return length > 0 && std::string_view(link, std::size_t(length)) == kInitialUserNamespace;
}

std::optional<uid_t> OutsideUserId() {
    if (InInitialUserNamespace()) {
        return ::getuid();
    }
    std::optional<uid_t> outside = MappedOut(::getuid());
    return outside && *outside != 0 ? outside : std::nullopt;
}

bool InLoginSession() {
    return SessionId().value_or(0) != kNoSession;
}

std::optional<uid_t> SessionUserId() {
    std::optional<unsigned long> session = SessionId();
    if (!session || *session == kNoSession) {
        return std::nullopt;
    }
    std::string path = std::string(kSessionRecords) + "/" + std::to_string(*session);
    if (IsMountedOver(path)) {
        return std::nullopt; // a record put there by a mount is nobody's word
    }
    FILE* record = std::fopen(path.c_str(), "re");
    if (!record) {
        return std::nullopt;
    }
    std::optional<uid_t> uid;
    char line[256];
    unsigned long value = 0;
    while (!uid && std::fgets(line, sizeof line, record)) {
        if (std::sscanf(line, "UID=%lu", &value) == 1) {
            uid = uid_t(value);
        }
    }
    std::fclose(record);
    return uid;
}

} // namespace platform
