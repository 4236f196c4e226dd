#include "platform/sockhost/network_links.h"

#include "platform/sockhost/libc_calls.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sockhost {
namespace {

// Reads the answers to a link dump; 1 when only loopback links came, 0 when
// another one did, -1 when the answer could not be read.
int ReadLinks(int fd) {
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        ssize_t length = Libc().recv(fd, buffer, sizeof buffer, 0);
        if (length <= 0) {
            return -1;
        }
        int left = int(length);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                return 1;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                return -1;
            }
            if (header->nlmsg_type == RTM_NEWLINK &&
                !(static_cast<const ifinfomsg*>(NLMSG_DATA(header))->ifi_flags & IFF_LOOPBACK)) {
                return 0;
            }
        }
    }
}

} // namespace

bool OnlyLoopbackLinks() {
    int fd = Libc().socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return false;
    }
    struct {
        nlmsghdr header;
        ifinfomsg link;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.link.ifi_family = AF_UNSPEC;
    bool only = Libc().send(fd, &request, sizeof request, 0) == ssize_t(sizeof request) &&
                ReadLinks(fd) == 1;
    Libc().close(fd);
    return only;
}

} // namespace sockhost
