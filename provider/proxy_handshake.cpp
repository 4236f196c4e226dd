#include "provider/proxy_handshake.h"

#include <cstring>

namespace zul {
namespace {

constexpr unsigned char kSocks4 = 4;
constexpr unsigned char kSocks5 = 5;
constexpr unsigned char kConnect = 1;
constexpr unsigned char kLoginVersion = 1;
constexpr unsigned char kIpv4 = 1, kDomain = 3, kIpv6 = 4;

// A SOCKS 5 greeting: version, a count of methods, exactly that many.
bool IsSocks5Greeting(const unsigned char* data, std::size_t size) {
    return size >= 3 && data[0] == kSocks5 && data[1] >= 1 && size == 2u + data[1];
}

// A SOCKS 5 request to connect: version, command, reserved zero, an address
// of its type, a port.
bool IsSocks5Connect(const unsigned char* data, std::size_t size) {
    if (size < 5 || data[0] != kSocks5 || data[1] != kConnect || data[2] != 0) {
        return false;
    }
    switch (data[3]) {
    case kIpv4:
        return size == 4 + 4 + 2;
    case kIpv6:
        return size == 4 + 16 + 2;
    case kDomain:
        return data[4] >= 1 && size == 5u + data[4] + 2;
    default:
        return false;
    }
}

// A SOCKS 5 user name and password: version 1, each with its length first.
bool IsSocks5Login(const unsigned char* data, std::size_t size) {
    if (size < 3 || data[0] != kLoginVersion) {
        return false;
    }
    std::size_t passwordAt = 2u + data[1];
    return passwordAt < size && size == passwordAt + 1 + data[passwordAt];
}

// A SOCKS 4 request to connect: version, command, port, IPv4 address, a user
// id ending in a zero byte; with an address 0.0.0.x (x not 0, SOCKS 4a) a host
// name ending in a zero byte follows.
bool IsSocks4Connect(const unsigned char* data, std::size_t size) {
    constexpr std::size_t kUserAt = 8;
    if (size < kUserAt + 1 || data[0] != kSocks4 || data[1] != kConnect) {
        return false;
    }
    const void* userEnd = std::memchr(data + kUserAt, 0, size - kUserAt);
    if (!userEnd) {
        return false;
    }
    std::size_t after = static_cast<const unsigned char*>(userEnd) - data + 1;
    bool namesHost = data[4] == 0 && data[5] == 0 && data[6] == 0 && data[7] != 0;
    if (!namesHost) {
        return after == size;
    }
    const void* hostEnd = std::memchr(data + after, 0, size - after);
    return hostEnd == data + size - 1 && size - after >= 2;
}

} // namespace

ProxyStep ReadProxyOpening(const unsigned char* data, std::size_t size) {
    if (IsSocks5Greeting(data, size)) {
        return ProxyStep::Greeting;
    }
    return IsSocks4Connect(data, size) ? ProxyStep::TunnelAsked : ProxyStep::None;
}

ProxyStep ReadProxyFollowing(const unsigned char* data, std::size_t size) {
    if (IsSocks5Connect(data, size)) {
        return ProxyStep::TunnelAsked;
    }
    return IsSocks5Login(data, size) ? ProxyStep::Login : ProxyStep::None;
}

} // namespace zul
