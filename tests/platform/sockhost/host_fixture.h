#pragma once
// A test with its own registry folder (so its own catalog, seeded with the base
// entries) and one WSAStartup/WSACleanup round of the socket host.

#include "platform/sockhost/winsock_api.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace qmtest {

class SocketHostTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", dir.path()};

    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD_W(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    // Only the host's sockets answer the socket layer's calls.
    static bool IsHostSocket(int fd) {
        std::uint32_t available = 0;
        return ioctlsocket(SOCKET(fd), long(FIONREAD_W), &available) == 0;
    }
};

} // namespace qmtest
