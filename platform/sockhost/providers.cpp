#include "platform/sockhost/providers.h"

#include "platform/catalog.h"
#include "platform/environment.h"
#include "platform/sockhost/libc_calls.h"
#include "platform/win/library.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace sockhost {
namespace {

std::mutex gMutex;
std::optional<std::vector<platform::CatalogItem>> gCatalog;
std::vector<std::unique_ptr<Provider>> gProviders;

const std::vector<platform::CatalogItem>& Catalog() {
    if (!gCatalog) {
        HostGuard guard;
        gCatalog = platform::ReadCatalog();
    }
    return *gCatalog;
}

bool ProtocolMatches(const WSAPROTOCOL_INFOW& info, int protocol) {
    long long wanted = protocol;
    return wanted >= info.iProtocol &&
           wanted <= (long long)info.iProtocol + info.iProtocolMaxOffset;
}

// Entries a program can name: base entries and chains, not hidden layers.
bool Selectable(const WSAPROTOCOL_INFOW& info, int af, int type) {
    return info.ProtocolChain.ChainLen != LAYERED_PROTOCOL &&
           !(info.dwProviderFlags & PFL_HIDDEN) && (af == 0 || info.iAddressFamily == af) &&
           info.iSocketType == type;
}

const platform::CatalogItem* ItemById(DWORD catalogId) {
    for (const platform::CatalogItem& item : Catalog()) {
        if (item.info.dwCatalogEntryId == catalogId) {
            return &item;
        }
    }
    return nullptr;
}

Provider* ProviderOfPath(const std::string& path) {
    for (auto& provider : gProviders) {
        if (provider->path == path) {
            return provider.get();
        }
    }
    gProviders.push_back(std::make_unique<Provider>());
    gProviders.back()->path = path;
    return gProviders.back().get();
}

// Loads and starts one provider library; the guard sends the provider's own
// start-up calls straight to the C library.
bool Start(Provider& provider, const WSAPROTOCOL_INFOW& entry) {
    HostGuard guard;
    if (!provider.library) {
        provider.library = LoadLibraryA(provider.path.c_str());
        if (!provider.library) {
            return false;
        }
        provider.startup =
            reinterpret_cast<LPWSPSTARTUP>(GetProcAddress(provider.library, "WSPStartup"));
    }
    if (!provider.startup) {
        return false;
    }
    WSAPROTOCOL_INFOW info = entry;
    WSPPROC_TABLE procs{};
    if (provider.startup(MAKEWORD_W(2, 2), &provider.data, &info, Upcalls(), &procs) != 0 ||
        !ProcTableComplete(procs)) {
        return false;
    }
    provider.procs = procs;
    provider.started = true;
    return true;
}

} // namespace

bool ChooseEntry(int af, int type, int protocol, WSAPROTOCOL_INFOW& entry) {
    std::lock_guard lock(gMutex);
    const WSAPROTOCOL_INFOW* fallback = nullptr;
    for (const platform::CatalogItem& item : Catalog()) {
        const WSAPROTOCOL_INFOW& info = item.info;
        if (!Selectable(info, af, type)) {
            continue;
        }
        if (protocol == 0 ? (info.dwProviderFlags & PFL_MATCHES_PROTOCOL_ZERO) != 0
                          : ProtocolMatches(info, protocol)) {
            entry = info;
            return true;
        }
        if (protocol == 0 && !fallback) {
            fallback = &info;
        }
    }
    if (fallback) {
        entry = *fallback;
        return true;
    }
    return false;
}

bool FindEntry(DWORD catalogId, WSAPROTOCOL_INFOW& entry) {
    std::lock_guard lock(gMutex);
    const platform::CatalogItem* item = ItemById(catalogId);
    if (item) {
        entry = item->info;
    }
    return item != nullptr;
}

Provider* StartedProvider(const WSAPROTOCOL_INFOW& entry, int* err) {
    std::lock_guard lock(gMutex);
    const platform::CatalogItem* item = ItemById(entry.dwCatalogEntryId);
    if (!item) {
        *err = WSAEINVALIDPROVIDER;
        return nullptr;
    }
    Provider* provider = ProviderOfPath(platform::ExpandEnvironment(item->path));
    if (!provider->started && !Start(*provider, item->info)) {
        *err = WSAEPROVIDERFAILEDINIT;
        return nullptr;
    }
    return provider;
}

Provider* ProviderOfCatalogId(DWORD catalogId) {
    std::lock_guard lock(gMutex);
    const platform::CatalogItem* item = ItemById(catalogId);
    if (!item) {
        return nullptr;
    }
    std::string path = platform::ExpandEnvironment(item->path);
    for (auto& provider : gProviders) {
        if (provider->path == path && provider->started) {
            return provider.get();
        }
    }
    return nullptr;
}

void CleanupProviders() {
    std::vector<Provider*> started;
    {
        std::lock_guard lock(gMutex);
        for (auto& provider : gProviders) {
            if (provider->started) {
                provider->started = false;
                started.push_back(provider.get());
            }
        }
        gCatalog.reset();
    }
    for (Provider* provider : started) {
        int error = 0;
        provider->procs.lpWSPCleanup(&error);
    }
}

void PrepareForkProviders() {
    gMutex.lock();
}

void ParentAfterForkProviders() {
    gMutex.unlock();
}

void ChildAfterForkProviders() {
    for (auto& provider : gProviders) {
        provider->started = false;
    }
    gMutex.unlock();
}

} // namespace sockhost
