#include "platform/name_lookup.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace platform {
namespace {

LookupResult Resolve(const std::string& host, unsigned port, sockaddr_in& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        return LookupResult::NotFound;
    }
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    return LookupResult::Found;
}

// Shared by the caller and the lookup's thread, which may outlive the wait.
struct Lookup {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    LookupResult result = LookupResult::NotFound;
    sockaddr_in address{};
};

} // namespace

LookupResult LookUpAddress(const std::string& host, unsigned port, int timeoutMs,
                           sockaddr_in& address) {
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
        return LookupResult::Found;
    }
    if (timeoutMs <= 0) {
        return Resolve(host, port, address);
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        sockaddr_in found{};
        LookupResult result = Resolve(host, port, found);
        std::lock_guard guard(lookup->lock);
        lookup->result = result;
        lookup->address = found;
        lookup->done = true;
        lookup->ended.notify_all();
    }).detach();
    std::unique_lock guard(lookup->lock);
    if (!lookup->ended.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                [&] { return lookup->done; })) {
        return LookupResult::TimedOut;
    }
    address = lookup->address;
    return lookup->result;
}

} // namespace platform
