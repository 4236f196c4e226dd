#include "platform/socket_owner.h"

#include <arpa/inet.h>
#include <cstring>
#include <functional>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// Sends one socket-diagnostics request and hands every answer record to
// `each` until the kernel ends the answer; false when the request failed.
bool AskSockDiag(void* request, std::size_t length, bool dump,
                 const std::function<void(const nlmsghdr&)>& each) {
    int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) {
        return false;
    }
    auto* header = static_cast<nlmsghdr*>(request);
    header->nlmsg_len = std::uint32_t(length);
    header->nlmsg_type = SOCK_DIAG_BY_FAMILY;
    header->nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
    header->nlmsg_seq = 1;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool ok = ::sendto(fd, request, length, 0, reinterpret_cast<sockaddr*>(&kernel),
                       sizeof kernel) == ssize_t(length);
    alignas(nlmsghdr) char buffer[16384];
    for (bool more = ok; more;) {
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ok = false;
            break;
        }
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, got);
             message = NLMSG_NEXT(message, got)) {
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                more = false;
                break;
            }
            each(*message);
            if (!dump) {
                more = false;
            }
        }
    }
    ::close(fd);
    return ok;
}

struct InetRequest {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

InetRequest TcpRequest(std::uint32_t states) {
    InetRequest request{};
    request.body.sdiag_family = AF_INET;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = states;
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    return request;
}

} // namespace

long TcpSocketOwner(const sockaddr_in& local, const sockaddr_in& remote) {
    InetRequest request = TcpRequest(~0u);
    request.body.id.idiag_sport = local.sin_port;
    request.body.id.idiag_dport = remote.sin_port;
    std::memcpy(request.body.id.idiag_src, &local.sin_addr, sizeof local.sin_addr);
    std::memcpy(request.body.id.idiag_dst, &remote.sin_addr, sizeof remote.sin_addr);
    long owner = -1;
    AskSockDiag(&request, sizeof request, false, [&](const nlmsghdr& message) {
        const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(&message));
        if (found->id.idiag_sport == local.sin_port && found->id.idiag_dport == remote.sin_port) {
            owner = long(found->idiag_uid);
        }
    });
    return owner;
}

// The kernel looks the listener up as it does for a connection to
// 127.0.0.1:port, rather than walking every listening socket's bucket.
long TcpListenerOwner(std::uint16_t port) {
    InetRequest request = TcpRequest(1u << TCP_LISTEN);
    request.body.id.idiag_sport = htons(port);
    std::uint32_t loopback = htonl(INADDR_LOOPBACK);
    std::memcpy(request.body.id.idiag_src, &loopback, sizeof loopback);
    long owner = -1;
    AskSockDiag(&request, sizeof request, false, [&](const nlmsghdr& message) {
        const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(&message));
        std::uint32_t address = 0;
        std::memcpy(&address, found->id.idiag_src, sizeof address);
        bool reaches = address == htonl(INADDR_LOOPBACK) || address == htonl(INADDR_ANY);
        if (found->idiag_family == AF_INET && found->idiag_state == TCP_LISTEN &&
            ntohs(found->id.idiag_sport) == port && reaches) {
            owner = long(found->idiag_uid);
        }
    });
    return owner;
}

long AbstractNameOwner(const std::string& name) {
    struct {
        nlmsghdr header;
        unix_diag_req body;
    } request{};
    request.body.sdiag_family = AF_UNIX;
    request.body.udiag_states = ~0u;
    request.body.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_UID;
    std::string wanted = std::string(1, '\0') + name;
    long owner = -1;
    AskSockDiag(&request, sizeof request, true, [&](const nlmsghdr& message) {
        const auto* found = static_cast<const unix_diag_msg*>(NLMSG_DATA(&message));
        int length = int(message.nlmsg_len - NLMSG_LENGTH(sizeof *found));
        std::string boundName;
        long uid = -1;
        for (auto* attribute = reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(found) + 1);
             RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
            const char* data = static_cast<const char*>(RTA_DATA(attribute));
            std::size_t size = RTA_PAYLOAD(attribute);
            if (attribute->rta_type == UNIX_DIAG_NAME) {
                boundName.assign(data, size);
            } else if (attribute->rta_type == UNIX_DIAG_UID && size >= sizeof(std::uint32_t)) {
                std::uint32_t value = 0;
                std::memcpy(&value, data, sizeof value);
                uid = long(value);
            }
        }
        if (boundName == wanted) {
            owner = uid;
        }
    });
    return owner;
}

} // namespace platform
