#pragma once
// The block page served by the service itself on 127.0.0.1, on the account's
// block page port (platform/block_page_location.h), from a thread of its own so
// that no browser can hold up the channel or the event loop. The block page
// address is where the provider redirects to; its host is always allowed.

#include "platform/page_server.h"

#include <cstdint>
#include <memory>
#include <string>

class CUser;

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
