#include "platform/blocking_socket.h"
#include "platform/winsock_types.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In a child with its own mount namespace: /etc/resolv.conf names a resolver
// on 127.0.0.2 that never answers and that the system would wait 30 s for.
// 0 when the connect gave up at its own time limit.
int ConnectThroughASilentResolver(const std::string& conf) {
    int silent = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(0x7f000002);
    bool ready = silent >= 0 && ::bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
                 ::unshare(CLONE_NEWNS) == 0 &&
                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                 ::mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    if (!ready) {
        return 2;
    }
    platform::BlockingSocket socket;
    socket.SetTimeout(300);
    bool connected = socket.Create() && socket.Connect("rating.example", 80);
    return !connected && socket.LastError() == WSAETIMEDOUT ? 0 : 1;
}

TEST(NameLookup, ASilentResolverIsGivenUpAtTheConnectsTimeLimit) {
    ASSERT_EQ(::getuid(), 0u) << "a private mount namespace needs root";
    qmtest::TempDir dir;
    std::string conf = dir / "resolv.conf";
    std::ofstream(conf) << "nameserver 127.0.0.2\noptions timeout:30 attempts:1\n";
    pid_t child = ::fork();
    if (child == 0) {
        ::_exit(ConnectThroughASilentResolver(conf));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no private resolver; 1: not given up in time";
}

} // namespace
