// 256 MiB through the chain (the provider over the base provider) in both
// directions, with blocking and with non-blocking sockets: what arrives is
// byte-identical to what was sent (MD5 of both streams).

#include "common/md5.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/provider/zul/zul_fixture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <vector>

namespace {

constexpr std::size_t kTotal = std::size_t(256) << 20;
constexpr std::size_t kChunk = 256 * 1024;

// A deterministic stream of bytes that is not periodic within 256 MiB.
class Stream {
  public:
    void Fill(char* data, std::size_t length) {
        for (std::size_t i = 0; i < length; i += 8) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            std::memcpy(data + i, &state_, std::min<std::size_t>(8, length - i));
        }
    }

  private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

// Waits until the descriptor is ready for the events (non-blocking mode).
void Wait(int fd, short events) {
    pollfd entry{fd, events, 0};
    ::poll(&entry, 1, -1);
}

std::array<std::uint8_t, 16> SendAll(int fd, bool nonBlocking) {
    Stream stream;
    qm::Md5 digest;
    std::vector<char> chunk(kChunk);
    for (std::size_t sent = 0; sent < kTotal; sent += kChunk) {
        stream.Fill(chunk.data(), kChunk);
        digest.Update(chunk.data(), kChunk);
        std::size_t done = 0;
        while (done < kChunk) {
            ssize_t n = ::send(fd, chunk.data() + done, kChunk - done, MSG_NOSIGNAL);
            if (n < 0 && nonBlocking && errno == EAGAIN) {
                Wait(fd, POLLOUT);
                continue;
            }
            if (n <= 0) {
                return {};
            }
            done += std::size_t(n);
        }
    }
    return digest.Final();
}

std::array<std::uint8_t, 16> ReceiveAll(int fd, bool nonBlocking, std::size_t& received) {
    qm::Md5 digest;
    std::vector<char> chunk(kChunk);
    received = 0;
    while (received < kTotal) {
        ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && nonBlocking && errno == EAGAIN) {
            Wait(fd, POLLIN);
            continue;
        }
        if (n <= 0) {
            break;
        }
        digest.Update(chunk.data(), std::size_t(n));
        received += std::size_t(n);
    }
    return digest.Final();
}

class ZulIntegrity : public qmtest::ZulTest, public ::testing::WithParamInterface<bool> {
  protected:
    ZulIntegrity() : ZulTest(0) {}
};

TEST_P(ZulIntegrity, TwoHundredFiftySixMebibytesArriveIntactBothWays) {
    bool nonBlocking = GetParam();
    std::array<std::uint8_t, 16> serverGot{};
    std::array<std::uint8_t, 16> serverSent{};
    std::size_t serverCount = 0;
    std::array<std::uint8_t, 16> clientSent{};
    std::array<std::uint8_t, 16> clientGot{};
    std::size_t clientCount = 0;
    {
        qmtest::LoopbackServer server(1, [&](int peer) {
            serverGot = ReceiveAll(peer, false, serverCount);
            serverSent = SendAll(peer, false);
        });
        int fd = qmtest::ConnectLoopback(server.port());
        ASSERT_TRUE(IsChainSocket(fd));
        if (nonBlocking) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        clientSent = SendAll(fd, nonBlocking);
        clientGot = ReceiveAll(fd, nonBlocking, clientCount);
        ::close(fd);
    } // the server has finished when it is destroyed
    EXPECT_EQ(serverCount, kTotal);
    EXPECT_EQ(clientCount, kTotal);
    EXPECT_EQ(serverGot, clientSent);
    EXPECT_EQ(clientGot, serverSent);
    EXPECT_EQ(clientSent, serverSent); // the same stream both ways
}

INSTANTIATE_TEST_SUITE_P(Modes, ZulIntegrity, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "NonBlocking" : "Blocking";
                         });

} // namespace
