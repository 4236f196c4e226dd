// The handles a program holds: real descriptors of the host's sockets, with the
// program's close-on-exec, released by every path that closes or replaces them.

#include "tests/platform/sockhost/blocked_receive.h"
#include "tests/platform/sockhost/host_fixture.h"
#include "tests/platform/sockhost/loopback.h"

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <vector>

namespace {

using qmtest::SocketHostTest;

ino_t InodeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_ino : 0;
}

// Every other descriptor of this process open on the same socket.
std::vector<int> OtherDescriptorsOf(int fd) {
    std::vector<int> found;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* entry = ::readdir(dir)) {
        int other = std::atoi(entry->d_name);
        if (entry->d_name[0] != '.' && other != fd && other != ::dirfd(dir) &&
            InodeOf(other) == InodeOf(fd)) {
            found.push_back(other);
        }
    }
    ::closedir(dir);
    return found;
}

TEST_F(SocketHostTest, InternetSocketsAreTheHostsAndLocalOnesAreNot) {
    int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
    int udp = ::socket(AF_INET6, SOCK_DGRAM, 0);
    int local = ::socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_TRUE(IsHostSocket(tcp));
    EXPECT_TRUE(IsHostSocket(udp));
    EXPECT_FALSE(IsHostSocket(local));
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    ::close(tcp);
    ::close(udp);
    ::close(local);
}

TEST_F(SocketHostTest, HandleIsCloseOnExecExactlyWhenAsked) {
    int plain = ::socket(AF_INET, SOCK_STREAM, 0);
    int asked = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(plain, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(asked, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    std::vector<int> others = OtherDescriptorsOf(plain);
    ASSERT_FALSE(others.empty()); // the provider's own descriptor
    for (int other : others) {
        EXPECT_EQ(::fcntl(other, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << other;
    }
    ::close(plain);
    ::close(asked);
}

TEST_F(SocketHostTest, CloseReleasesTheHandleAndItsProviderSocket) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(OtherDescriptorsOf(fd).size(), 1u);
    int provider = OtherDescriptorsOf(fd)[0];
    EXPECT_EQ(::close(fd), 0);
    EXPECT_FALSE(IsHostSocket(fd));
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(::fcntl(provider, F_GETFD), -1);
    EXPECT_EQ(closesocket(SOCKET(fd)), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(SocketHostTest, CloseWakesAThreadBlockedInAReceive) {
    qmtest::LoopbackServer server(1, [](int peer) { qmtest::ReadAll(peer); });
    int fd = qmtest::ConnectLoopback(server.port());
    ASSERT_GE(fd, 0);
    ssize_t received = 1;
    EXPECT_EQ(qmtest::CloseUnderABlockedReceive(fd, received), 0);
    EXPECT_LE(received, 0);
    EXPECT_FALSE(IsHostSocket(fd));
}

TEST_F(SocketHostTest, Dup2OntoAHandleClosesTheSocketFirst) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int provider = OtherDescriptorsOf(fd).at(0);
    int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::dup2(null, fd), fd);
    EXPECT_FALSE(IsHostSocket(fd));
    struct stat info {};
    ASSERT_EQ(::fstat(fd, &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(::fcntl(provider, F_GETFD), -1);
    ::close(fd);
    ::close(null);
}

TEST_F(SocketHostTest, Dup3AndCloseRangeReleaseHandles) {
    int first = ::socket(AF_INET, SOCK_STREAM, 0);
    int null = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(::dup3(null, first, O_CLOEXEC), first);
    EXPECT_FALSE(IsHostSocket(first));
    ::close(first);
    int a = ::socket(AF_INET, SOCK_STREAM, 0);
    int b = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_TRUE(IsHostSocket(a) && IsHostSocket(b));
    int low = std::min(a, b);
    int high = std::max(a, b);
    ASSERT_EQ(::close_range(unsigned(low), unsigned(high), 0), 0);
    EXPECT_FALSE(IsHostSocket(a));
    EXPECT_FALSE(IsHostSocket(b));
    EXPECT_EQ(::fcntl(a, F_GETFD), -1);
    ::close(null);
}

TEST_F(SocketHostTest, ForkedChildStartsAfreshAndLeavesTheParentAlone) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    pid_t child = ::fork();
    if (child == 0) {
        // The inherited descriptor is no longer the host's; new sockets are.
        int fresh = ::socket(AF_INET, SOCK_STREAM, 0);
        bool ok = !IsHostSocket(fd) && IsHostSocket(fresh);
        ::close(fd);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(IsHostSocket(fd));
    ::close(fd);
}

} // namespace
