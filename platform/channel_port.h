#pragma once
// The port of the local filter channel for the account the process runs as.
// 4100, except in the system-wide install for several accounts: the account
// at place i (from 0) of the machine's "FilteredAccounts" list (names between
// commas) listens on 4100 + i, so the services of two filtered accounts logged
// in at once never share a port. The first account keeps 4100. The block page
// port moves by the same place.

#include "platform/registry.h"

#include <cstdint>

namespace platform {

inline constexpr std::uint16_t kBaseChannelPort = 4100;
// More accounts than this share the last port (and are then refused by the
// owner checks of the channel).
inline constexpr int kMaxChannelAccounts = 64;

// The process's account's place among the filtered accounts named under the
// open machine Settings key; 0 when it is not named or there is no list.
int FilteredAccountPlace(HKEY settingsKey);

// Reads the machine hive each time it is called.
std::uint16_t ChannelPort();

// Cheap test for a port that may be some account's channel port.
inline bool MayBeChannelPort(int port) {
    return port >= kBaseChannelPort && port < kBaseChannelPort + kMaxChannelAccounts;
}

} // namespace platform
