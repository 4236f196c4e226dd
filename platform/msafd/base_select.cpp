#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_procs.h"

#include <poll.h>
#include <vector>

namespace msafd {
namespace {

constexpr short kReadable = POLLIN | POLLHUP | POLLERR;
constexpr short kWritable = POLLOUT | POLLERR;
constexpr short kExceptional = POLLPRI | POLLERR;

void Add(std::vector<pollfd>& polled, SOCKET s, short events) {
    for (pollfd& entry : polled) {
        if (entry.fd == int(s)) {
            entry.events |= events;
            return;
        }
    }
    polled.push_back(pollfd{int(s), events, 0});
}

short Ready(const std::vector<pollfd>& polled, SOCKET s) {
    for (const pollfd& entry : polled) {
        if (entry.fd == int(s)) {
            return entry.revents;
        }
    }
    return 0;
}

// Keeps the sockets of a set that are ready; returns how many.
int Keep(WSA_FD_SET* set, const std::vector<pollfd>& polled, short wanted) {
    if (!set) {
        return 0;
    }
    unsigned kept = 0;
    for (unsigned i = 0; i < set->fd_count; ++i) {
        if (Ready(polled, set->fd_array[i]) & wanted) {
            set->fd_array[kept++] = set->fd_array[i];
        }
    }
    set->fd_count = kept;
    return int(kept);
}

} // namespace

int WSPSelect(int nfds, WSA_FD_SET* readfds, WSA_FD_SET* writefds, WSA_FD_SET* exceptfds,
              const timeval* timeout, int* lpErrno) {
    (void)nfds;
    if (!readfds && !writefds && !exceptfds) {
        return Fail(lpErrno, WSAEINVAL);
    }
    std::vector<pollfd> polled;
    const std::pair<WSA_FD_SET*, short> sets[] = {
        {readfds, POLLIN}, {writefds, POLLOUT}, {exceptfds, POLLPRI}};
    for (const auto& [set, events] : sets) {
        for (unsigned i = 0; set && i < set->fd_count; ++i) {
            Add(polled, set->fd_array[i], events);
        }
    }
    int milliseconds = timeout ? int(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
    if (::poll(polled.data(), polled.size(), milliseconds) < 0) {
        return FailFromErrno(lpErrno);
    }
    return Keep(readfds, polled, kReadable) + Keep(writefds, polled, kWritable) +
           Keep(exceptfds, polled, kExceptional);
}

} // namespace msafd
