#include "platform/sockhost/handle_table.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sys/mman.h>
#include <sys/resource.h>

namespace sockhost {
namespace {

struct Slot {
    std::atomic<Provider*> provider;
    std::atomic<DWORD_PTR> context;
    std::atomic<bool> hostMade;
    std::atomic<bool> closedByProgram;
    std::atomic<bool> inherited; // a live handle of the parent, in a forked child
};

constexpr std::size_t kMaxSlots = std::size_t(1) << 20;

std::atomic<Slot*> gSlots{nullptr};
std::size_t gSlotCount = 0;
std::atomic<std::size_t> gHighWater{0};
std::once_flag gMapped;

// Anonymous zero pages: only the pages of numbers in use become resident.
void MapSlots() {
    rlimit limit{};
    std::size_t count = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max != RLIM_INFINITY) {
        count = std::max<std::size_t>(count, limit.rlim_max);
    }
    count = std::min(count, kMaxSlots);
    void* memory = ::mmap(nullptr, count * sizeof(Slot), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        return;
    }
    gSlotCount = count;
    gSlots.store(static_cast<Slot*>(memory), std::memory_order_release);
}

Slot* SlotOf(SOCKET handle) {
    Slot* slots = gSlots.load(std::memory_order_acquire);
    if (!slots || handle >= gSlotCount) {
        return nullptr;
    }
    return &slots[handle];
}

bool Lookup(SOCKET handle, HandleEntry& entry, bool includeClosed) {
    Slot* slot = SlotOf(handle);
    if (!slot) {
        return false;
    }
    Provider* provider = slot->provider.load(std::memory_order_acquire);
    if (!provider || (!includeClosed && slot->closedByProgram.load(std::memory_order_acquire))) {
        return false;
    }
    entry.provider = provider;
    entry.context = slot->context.load(std::memory_order_relaxed);
    entry.hostMade = slot->hostMade.load(std::memory_order_relaxed);
    return true;
}

} // namespace

bool LookupHandle(SOCKET handle, HandleEntry& entry) {
    return Lookup(handle, entry, false);
}

bool LookupHandleForProvider(SOCKET handle, HandleEntry& entry) {
    return Lookup(handle, entry, true);
}

SOCKET HostHandleOf(SOCKET own) {
    std::size_t high = HandleHighWater();
    for (SOCKET handle = 0; handle < high; ++handle) {
        HandleEntry entry;
        if (LookupHandle(handle, entry) && entry.hostMade && SOCKET(entry.context) == own) {
            return handle;
        }
    }
    return INVALID_SOCKET;
}

std::size_t HandleHighWater() {
    return gHighWater.load(std::memory_order_acquire);
}

bool SetHandle(SOCKET handle, const HandleEntry& entry) {
    std::call_once(gMapped, MapSlots);
    Slot* slot = SlotOf(handle);
    if (!slot) {
        return false;
    }
    slot->context.store(entry.context, std::memory_order_relaxed);
    slot->hostMade.store(entry.hostMade, std::memory_order_relaxed);
    slot->closedByProgram.store(false, std::memory_order_relaxed);
    slot->inherited.store(false, std::memory_order_relaxed);
    slot->provider.store(entry.provider, std::memory_order_release);
    std::size_t high = gHighWater.load(std::memory_order_relaxed);
    while (handle + 1 > high && !gHighWater.compare_exchange_weak(high, handle + 1)) {
    }
    return true;
}

bool ClearHandle(SOCKET handle) {
    Slot* slot = SlotOf(handle);
    if (!slot) {
        return false;
    }
    Provider* previous = slot->provider.exchange(nullptr, std::memory_order_acq_rel);
    slot->closedByProgram.store(false, std::memory_order_relaxed);
    return previous != nullptr;
}

void MarkClosedByProgram(SOCKET handle) {
    if (Slot* slot = SlotOf(handle)) {
        slot->closedByProgram.store(true, std::memory_order_release);
    }
}

void UnmarkClosedByProgram(SOCKET handle) {
    if (Slot* slot = SlotOf(handle)) {
        slot->closedByProgram.store(false, std::memory_order_release);
    }
}

bool HandlePending(SOCKET handle) {
    Slot* slot = SlotOf(handle);
    return slot && slot->provider.load(std::memory_order_acquire) != nullptr;
}

void ForgetAllHandles() {
    Slot* slots = gSlots.load(std::memory_order_acquire);
    if (!slots) {
        return;
    }
    std::size_t high = gHighWater.load();
    for (std::size_t i = 0; i < high; ++i) {
        bool live = slots[i].provider.load(std::memory_order_relaxed) &&
                    !slots[i].closedByProgram.load(std::memory_order_relaxed);
        slots[i].inherited.store(live, std::memory_order_relaxed);
        slots[i].provider.store(nullptr, std::memory_order_relaxed);
        slots[i].closedByProgram.store(false, std::memory_order_relaxed);
    }
}

bool Inherited(SOCKET handle) {
    Slot* slot = SlotOf(handle);
    return slot && slot->inherited.load(std::memory_order_acquire);
}

bool TakeInherited(SOCKET handle) {
    Slot* slot = SlotOf(handle);
    return slot && slot->inherited.load(std::memory_order_acquire) &&
           slot->inherited.exchange(false, std::memory_order_acq_rel);
}

} // namespace sockhost
