#pragma once
// The block page served by the service itself on 127.0.0.1, on the port of the
// machine setting "BlockPagePort" (default 4180), from a thread of its own so
// that no browser can hold up the channel or the event loop. The machine
// setting "BlockPage" (default "http://127.0.0.1:4180/") is the address the
// provider redirects to; its host is always allowed.

#include "platform/page_server.h"

#include <cstdint>
#include <memory>
#include <string>

class CUser;

constexpr std::uint16_t kDefaultBlockPagePort = 4180;
constexpr const char kDefaultBlockPage[] = "http://127.0.0.1:4180/";

struct BlockPageSettings {
    std::uint16_t port = kDefaultBlockPagePort;
    std::string address = kDefaultBlockPage;
};

// The settings from the machine's Settings key; defaults where missing or unusable.
BlockPageSettings ReadBlockPageSettings();

class CBlockPageServer {
  public:
    explicit CBlockPageServer(const CUser& user);
    // Starts serving; false (and a log line) when the port cannot be had.
    bool Start(std::uint16_t port);

  private:
    platform::PageServer server_;
};

// Reads the settings, tells the member profile the block page's address and
// starts the server. The server stays null when it cannot start.
std::unique_ptr<CBlockPageServer> StartBlockPageServer(CUser& user);
