// The SOCKS messages a program sends a proxy, each exactly one send's bytes;
// anything longer, shorter or of another protocol is none.
#include "provider/proxy_handshake.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using zul::ProxyStep;

// Each message in a buffer of exactly its size, so that a read past its end
// is seen by the address sanitizer.
ProxyStep Opening(const std::string& bytes) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return zul::ReadProxyOpening(exact.get(), bytes.size());
}
ProxyStep Following(const std::string& bytes) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return zul::ReadProxyFollowing(exact.get(), bytes.size());
}
std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes.push_back(char(value));
    }
    return bytes;
}

TEST(ProxyHandshake, SocksFourAndFourARequestsOpenATunnel) {
    std::string socks4 = Bytes({4, 1, 0, 80, 10, 0, 0, 1}) + "kid" + std::string(1, '\0');
    EXPECT_EQ(Opening(socks4), ProxyStep::TunnelAsked);
    std::string socks4a = Bytes({4, 1, 1, 187, 0, 0, 0, 1}) + std::string(1, '\0') + "site.test";
    EXPECT_EQ(Opening(socks4a + std::string(1, '\0')), ProxyStep::TunnelAsked);
    EXPECT_EQ(Opening(socks4a), ProxyStep::None);                                 // no end
    EXPECT_EQ(Opening(socks4a + std::string(2, '\0')), ProxyStep::None);          // trailing
    EXPECT_EQ(Opening(Bytes({4, 1, 1, 187, 0, 0, 0, 1, 0, 0})), ProxyStep::None); // empty name
    EXPECT_EQ(Opening(socks4 + "x"), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({4, 2, 0, 80, 10, 0, 0, 1, 0})), ProxyStep::None); // bind
    EXPECT_EQ(Opening(Bytes({4, 1, 0, 80, 10, 0, 0})), ProxyStep::None);
}

TEST(ProxyHandshake, SocksFiveGreetingLoginAndRequestsOfEachAddressKind) {
    EXPECT_EQ(Opening(Bytes({5, 1, 0})), ProxyStep::Greeting);
    EXPECT_EQ(Opening(Bytes({5, 2, 0, 2})), ProxyStep::Greeting);
    EXPECT_EQ(Opening(Bytes({5, 2, 0})), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({5, 1, 0, 0})), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({5, 0})), ProxyStep::None);
    EXPECT_EQ(Following(Bytes({1, 3}) + "kid" + Bytes({6}) + "secret"), ProxyStep::Login);
    EXPECT_EQ(Following(Bytes({1, 3}) + "kid" + Bytes({7}) + "secret"), ProxyStep::None);
    EXPECT_EQ(Following(Bytes({1, 3}) + "kid"), ProxyStep::None);
    std::string domain = Bytes({5, 1, 0, 3, 9}) + "site.test" + Bytes({1, 187});
    EXPECT_EQ(Following(domain), ProxyStep::TunnelAsked);
    EXPECT_EQ(Following(domain.substr(0, domain.size() - 1)), ProxyStep::None);
    EXPECT_EQ(Following(Bytes({5, 1, 0, 1, 10, 0, 0, 1, 0, 80})), ProxyStep::TunnelAsked);
    EXPECT_EQ(Following(Bytes({5, 1, 0, 4}) + std::string(16, '\1') + Bytes({0, 80})),
              ProxyStep::TunnelAsked);
    EXPECT_EQ(Following(Bytes({5, 3, 0, 1, 10, 0, 0, 1, 0, 80})), ProxyStep::None); // UDP
    EXPECT_EQ(Following(Bytes({5, 1, 0, 2, 10, 0, 0, 1, 0, 80})), ProxyStep::None);
    EXPECT_EQ(Following(Bytes({5, 1, 0, 3, 0, 0, 80})), ProxyStep::None);
}

TEST(ProxyHandshake, OtherProtocolsAreNone) {
    EXPECT_EQ(Opening("GET / HTTP/1.1\r\n\r\n"), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({22, 3, 1, 0, 5})), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({5})), ProxyStep::None);
    EXPECT_EQ(Opening(Bytes({4})), ProxyStep::None);
    EXPECT_EQ(Following("GET / HTTP/1.1\r\n\r\n"), ProxyStep::None);
}

} // namespace
