#include "platform/presence.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string UniqueName(const char* base) {
    return std::string(base) + std::to_string(::getpid());
}

TEST(Presence, NameIsFoundWhileSomeoneListensAndGoneWithIt) {
    std::string name = UniqueName("qmtest_presence_");
    EXPECT_FALSE(platform::IsPresent(name));
    int fd = platform::ListenOnName(name);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(platform::IsPresent(name));
    EXPECT_EQ(platform::ListenOnName(name), -1);
    ::close(fd);
    EXPECT_FALSE(platform::IsPresent(name));
}

TEST(Presence, ControlMessageArrivesAsOneLine) {
    std::string name = UniqueName("qmtest_control_");
    int fd = platform::ListenOnName(name);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(platform::SendControlMessage(name, 1124, 7, -3));
    int client = -1;
    for (int tries = 0; client < 0 && tries < 100; ++tries) {
        client = ::accept(fd, nullptr, nullptr);
        if (client < 0) {
            ::usleep(10000);
        }
    }
    ASSERT_GE(client, 0);
    char buffer[64] = {};
    ASSERT_GT(::recv(client, buffer, sizeof buffer - 1, 0), 0);
    UINT message = 0;
    WPARAM w = 0;
    LPARAM l = 0;
    ASSERT_TRUE(platform::ParseControlMessage(buffer, message, w, l));
    EXPECT_EQ(message, 1124u);
    EXPECT_EQ(w, 7u);
    EXPECT_EQ(l, -3);
    EXPECT_FALSE(platform::ParseControlMessage("1035 x", message, w, l));
    EXPECT_FALSE(platform::ParseControlMessage("1 2 3 4", message, w, l));
    ::close(client);
    ::close(fd);
}

// A second process cannot take the mutex while the first holds it, and takes it
// at once after the first has died.
TEST(Presence, NamedMutexIsHeldUntilTheOwnerDies) {
    std::string name = UniqueName("qmtest_mutex_");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        DWORD error = 1;
        int handle = platform::CreateNamedMutex(name, &error);
        char ok = (handle >= 0 && error == ERROR_SUCCESS) ? 'y' : 'n';
        (void)::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    DWORD error = 0;
    EXPECT_EQ(platform::CreateNamedMutex(name, &error), -1);
    EXPECT_EQ(error, DWORD(ERROR_ALREADY_EXISTS));
    ::kill(owner, SIGKILL);
    ::waitpid(owner, nullptr, 0);
    int handle = platform::CreateNamedMutex(name, &error);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(error, DWORD(ERROR_SUCCESS));
    ::close(handle);
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
