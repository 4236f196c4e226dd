// A base provider that accepts or reconnects into an existing socket makes a new
// kernel socket; every descriptor that stood for the old one (the provider's
// own, the program's handle) is pointed at the new one, keeping its numbers and
// close-on-exec flags.

#include "platform/sockhost/handle_table.h"
#include "platform/sockhost/kernel_socket.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

bool SameSocket(int fd, ino_t inode) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode) && status.st_ino == inode;
}

void PointAt(int replacement, int fd) {
    int flags = ::fcntl(fd, F_GETFD);
    sockhost::Libc().dup3(replacement, fd, (flags >= 0 && (flags & FD_CLOEXEC)) ? O_CLOEXEC : 0);
}

} // namespace

extern "C" int qm_sockhost_replace_socket(int target, int replacement) {
    struct stat status {};
    if (::fstat(target, &status) != 0) {
        return -1;
    }
    std::vector<int> holders{target};
    std::size_t high = sockhost::HandleHighWater();
    for (std::size_t handle = 0; handle < high; ++handle) {
        sockhost::HandleEntry entry;
        if (!sockhost::LookupHandleForProvider(SOCKET(handle), entry)) {
            continue;
        }
        for (int fd : {int(handle), entry.hostMade ? int(entry.context) : -1}) {
            if (fd >= 0 && fd != target && SameSocket(fd, status.st_ino)) {
                holders.push_back(fd);
            }
        }
    }
    for (int fd : holders) {
        PointAt(replacement, fd);
    }
    return 0;
}
