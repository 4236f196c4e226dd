#pragma once
// The provider's process-wide start-up state.

#include "provider/zul_types.h"

#include <memory>
#include <mutex>

namespace zul {

class CInformant;

struct ZulState {
    int gEntryCount = 0;
    WSPUPCALLTABLE MainUpcallTable{};
    WSPPROC_TABLE gProcTable{};
    WSPDATA gWSPData{};
    DWORD gLayerCatalogId = 0;
    int gLayerCount = 0;
    PROVIDER* gBaseInfo = nullptr; // gLayerCount records
    WSAEVENT gAddContextEvent = nullptr;
    bool gDetached = false;
    CInformant* informant = nullptr; // created at attach, never destroyed
};

ZulState& State();

// Guards start-up, clean-up and the socket context lookups. Recursive, as the
// platform's critical sections are.
std::recursive_mutex& CriticalSection();

// The PROVIDER whose function this thread is in, or null (WSPCancelBlockingCall).
PROVIDER*& ThreadProvider();

// Sets ThreadProvider for the duration of one lower call.
class InLowerProvider {
  public:
    explicit InLowerProvider(PROVIDER* provider) { ThreadProvider() = provider; }
    ~InLowerProvider() { ThreadProvider() = nullptr; }
    InLowerProvider(const InLowerProvider&) = delete;
    InLowerProvider& operator=(const InLowerProvider&) = delete;
};

// Start-up and clean-up one at a time: the clean-up stops the overlapped
// manager's worker and the window's thread without holding gCriticalSection,
// which their completions and notifications take.
std::mutex& Lifecycle();

// The process's informant, made at attach and, in a forked child, at its
// first start-up (under Lifecycle).
CInformant& Informant();
void CreateInformant();

} // namespace zul
