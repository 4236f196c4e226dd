#include "platform/hive_file.h"

#include "platform/fork_fresh.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Longer than any local file system's timestamp step (at most a clock tick).
constexpr long long kSettleNanoseconds = 1'000'000'000;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    uid_t reader = 0;      // the effective ids it was read with: a process that
    gid_t readerGroup = 0; // gives up its privileges reads the file afresh

    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               reader == other.reader && readerGroup == other.readerGroup &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

Identity IdentityOf(const struct stat& info) {
    return Identity{info.st_dev,  info.st_ino, info.st_size, info.st_mtim,
                    info.st_ctim, ::geteuid(), ::getegid()};
}

long long Nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

struct Kept {
    std::string path;
    Identity identity;
    std::shared_ptr<const hive::Hive> hive;
};

// What this process keeps, with its lock; a forked child starts with nothing kept.
struct KeptHives {
    std::mutex lock;
    std::vector<Kept> hives;
};

// Under the lock.
Kept* FindKept(const std::string& path) {
    for (Kept& kept : ForkFresh<KeptHives>().hives) {
        if (kept.path == path) {
            return &kept;
        }
    }
    return nullptr;
}

// The file's text, and the identity of what was read (nothing for a missing
// file). The text is read straight into a string of the file's size.
std::string ReadText(const std::string& path, std::optional<Identity>& identity) {
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        identity = IdentityOf(info);
    }
    std::size_t room = info.st_size > 0 ? std::size_t(info.st_size) + 1 : 4096;
    std::size_t filled = 0;
    ssize_t got;
    for (;;) {
        if (filled == text.size()) {
            text.resize(filled + room);
        }
        got = ::read(fd, text.data() + filled, text.size() - filled);
        if (got > 0) {
            filled += std::size_t(got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    text.resize(filled);
    if (got < 0) {
        identity.reset(); // a read that failed part way is not kept
    }
    ::close(fd);
    return text;
}

} // namespace

hive::Hive ReadHiveFileAfresh(const std::string& path, std::string_view rootName) {
    std::optional<Identity> identity;
    return hive::Parse(ReadText(path, identity), rootName);
}

std::shared_ptr<const hive::Hive> ReadHiveFile(const std::string& path, std::string_view rootName) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        std::lock_guard lock(ForkFresh<KeptHives>().lock);
        if (Kept* kept = FindKept(path); kept && kept->identity == IdentityOf(info)) {
            return kept->hive;
        }
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::optional<Identity> identity;
    auto hive = std::make_shared<const hive::Hive>(hive::Parse(ReadText(path, identity), rootName));
    KeptHives& store = ForkFresh<KeptHives>();
    std::lock_guard lock(store.lock);
    Kept* kept = FindKept(path);
    bool settled =
        identity && Nanoseconds(now) - Nanoseconds(identity->changed) >= kSettleNanoseconds;
    if (!settled) {
        std::erase_if(store.hives, [&](const Kept& entry) { return entry.path == path; });
    } else if (kept) {
        kept->identity = *identity;
        kept->hive = hive;
    } else {
        store.hives.push_back(Kept{path, *identity, hive});
    }
    return hive;
}

void ForgetHiveFile(const std::string& path) {
    KeptHives& kept = ForkFresh<KeptHives>();
    std::lock_guard lock(kept.lock);
    std::erase_if(kept.hives, [&](const Kept& entry) { return entry.path == path; });
}

} // namespace platform
