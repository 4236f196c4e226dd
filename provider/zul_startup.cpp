// WSPStartup, the one export: finds the provider's chains in the catalog,
// loads and starts the provider below each, and hands back the procedure
// table; WSPCleanup undoes it when the last start-up is matched.

#include "common/wide.h"
#include "platform/catalog.h"
#include "platform/environment.h"
#include "platform/sleep.h"
#include "provider/async_window.h"
#include "provider/lsp_log.h"
#include "provider/overlapped_operation.h"
#include "provider/sock_info.h"
#include "provider/zul_procs.h"
#include "provider/zul_settings.h"
#include "provider/zul_state.h"

#include <cstring>
#include <new>

namespace zul {
namespace {

constexpr int kPathCapacity = MAX_PATH_W - 1;

void FillProcTable(WSPPROC_TABLE& t) {
    t = WSPPROC_TABLE{WSPAccept,
                      WSPAddressToString,
                      WSPAsyncSelect,
                      WSPBind,
                      WSPCancelBlockingCall,
                      WSPCleanup,
                      WSPCloseSocket,
                      WSPConnect,
                      WSPDuplicateSocket,
                      WSPEnumNetworkEvents,
                      WSPEventSelect,
                      WSPGetOverlappedResult,
                      WSPGetPeerName,
                      WSPGetSockName,
                      WSPGetSockOpt,
                      WSPGetQOSByName,
                      WSPIoctl,
                      WSPJoinLeaf,
                      WSPListen,
                      WSPRecv,
                      WSPRecvDisconnect,
                      WSPRecvFrom,
                      WSPSelect,
                      WSPSend,
                      WSPSendDisconnect,
                      WSPSendTo,
                      WSPSetSockOpt,
                      WSPShutdown,
                      WSPSocket,
                      WSPStringToAddress};
}

const WSAPROTOCOL_INFOW* EntryById(const std::vector<WSAPROTOCOL_INFOW>& catalog, DWORD id) {
    for (const WSAPROTOCOL_INFOW& entry : catalog) {
        if (entry.dwCatalogEntryId == id) {
            return &entry;
        }
    }
    return nullptr;
}

bool IsOurChain(const WSAPROTOCOL_INFOW& entry, DWORD layerId) {
    return entry.ProtocolChain.ChainLen > 1 && entry.ProtocolChain.ChainEntries[0] == layerId;
}

// The provider below one of our chains (step 8 of start-up).
void FindNextProvider(const std::vector<WSAPROTOCOL_INFOW>& catalog, PROVIDER& record) {
    const WSAPROTOCOL_INFOW& chain = record.LayerProvider;
    const WSAPROTOCOL_INFOW* below = EntryById(catalog, chain.ProtocolChain.ChainEntries[1]);
    if (!below) {
        record.NextProvider = chain;
        return;
    }
    if (below->ProtocolChain.ChainLen != LAYERED_PROTOCOL) {
        record.NextProvider = chain;
        record.NextProvider.ProviderId = below->ProviderId;
        record.NextProvider.dwCatalogEntryId = below->dwCatalogEntryId;
        std::memcpy(record.NextProvider.szProtocol, below->szProtocol, sizeof below->szProtocol);
        record.NextProvider.ProtocolChain.ChainLen = 0;
        return;
    }
    // Another layered provider: its chain of the same family, type and protocol.
    for (const WSAPROTOCOL_INFOW& entry : catalog) {
        if (entry.ProtocolChain.ChainLen > 1 &&
            entry.ProtocolChain.ChainEntries[0] == below->dwCatalogEntryId &&
            entry.iAddressFamily == chain.iAddressFamily &&
            entry.iSocketType == chain.iSocketType && entry.iProtocol == chain.iProtocol) {
            record.NextProvider = entry;
            return;
        }
    }
    record.NextProvider = *below;
}

std::string Narrow(const WCHAR* text) {
    return qm::NarrowFromWide(text);
}

// Loads the library of a record's next provider (step 9).
int LoadProvider(PROVIDER& record) {
    int error = 0;
    record.ProviderPathLen = kPathCapacity;
    if (WSCGetProviderPath(&record.NextProvider.ProviderId, record.ProviderPathW,
                           &record.ProviderPathLen, &error) == SOCKET_ERROR) {
        DebugMessage("WSPStartup: WSCGetProviderPath failed: %d", error);
        return WSAEPROVIDERFAILEDINIT;
    }
    if (ExpandEnvironmentStringsW(record.ProviderPathW, record.LibraryPathW, kPathCapacity) != 0) {
        record.hProvider = LoadLibraryW(record.LibraryPathW);
        if (!record.hProvider) {
            DebugMessage("WSPStartup: LoadLibraryW failed: %d", ERROR_FILE_NOT_FOUND);
            return WSAEPROVIDERFAILEDINIT;
        }
        DebugMessage("LoadLibrary on: %s", Narrow(record.LibraryPathW).c_str());
        return 0;
    }
    // The wide expansion is not available: the same in the system code page.
    std::string narrow = Narrow(record.ProviderPathW);
    if (narrow.size() >= sizeof record.ProviderPathA) {
        DebugMessage("WideCharToMultiByte failed: %d", ERROR_INVALID_PARAMETER);
        return WSAEPROVIDERFAILEDINIT;
    }
    std::strcpy(record.ProviderPathA, narrow.c_str());
    if (ExpandEnvironmentStringsA(record.ProviderPathA, record.LibraryPathA, kPathCapacity) == 0) {
        DebugMessage("ExpandEnvironmentStrings failed: %d", ERROR_INVALID_PARAMETER);
        return WSAEPROVIDERFAILEDINIT;
    }
    record.hProvider = LoadLibraryA(record.LibraryPathA);
    if (!record.hProvider) {
        DebugMessage("LoadLibrary failed: %d", ERROR_FILE_NOT_FOUND);
        return WSAEPROVIDERFAILEDINIT;
    }
    return 0;
}

// Starts a record's next provider (step 10).
int StartProvider(PROVIDER& record, WORD version, WSPDATA* data, WSAPROTOCOL_INFOW* callers,
                  const WSPUPCALLTABLE& upcalls) {
    record.fnWSPStartup =
        reinterpret_cast<LPWSPSTARTUP>(GetProcAddress(record.hProvider, "WSPStartup"));
    if (!record.fnWSPStartup) {
        DebugMessage("GetProcAddress failed!");
        return WSAEPROVIDERFAILEDINIT;
    }
    int result = record.fnWSPStartup(version, data, LowerProtocolInfo(&record, callers), upcalls,
                                     &record.NextProcTable);
    std::string path = Narrow(record.LibraryPathW);
    if (result != 0) {
        DebugMessage("%s->WSPStartup() failed: %d", path.c_str(), result);
        return WSAEPROVIDERFAILEDINIT;
    }
    DebugMessage("NextProcTable.WSPStartup = 0x%X [%s]",
                 unsigned(reinterpret_cast<std::uintptr_t>(record.fnWSPStartup)), path.c_str());
    if (!ProcTableComplete(record.NextProcTable)) {
        DebugMessage("Provider '%s' returned bad proc table!", path.c_str());
        return WSAEPROVIDERFAILEDINIT;
    }
    return 0;
}

int BuildProviders(WORD version, WSPDATA* data, WSAPROTOCOL_INFOW* callers,
                   const WSPUPCALLTABLE& upcalls) {
    ZulState& state = State();
    std::vector<WSAPROTOCOL_INFOW> catalog = GetProviders();
    if (catalog.empty()) {
        DebugMessage("GetProviders failed");
        return WSAEPROVIDERFAILEDINIT;
    }
    GUID layerGuid{};
    state.gLayerCatalogId = 0;
    if (RetrieveGUID(&layerGuid, "1")) {
        for (const WSAPROTOCOL_INFOW& entry : catalog) {
            if (entry.ProviderId == layerGuid) {
                state.gLayerCatalogId = entry.dwCatalogEntryId;
                break;
            }
        }
    }
    state.gLayerCount = 0;
    for (const WSAPROTOCOL_INFOW& entry : catalog) {
        state.gLayerCount += IsOurChain(entry, state.gLayerCatalogId) ? 1 : 0;
    }
    DebugMessage("Layered over %d protocols", state.gLayerCount);
    state.gBaseInfo = new (std::nothrow) PROVIDER[std::size_t(state.gLayerCount)]();
    if (!state.gBaseInfo) {
        DebugMessage("WSPStartup: HeapAlloc() failed on gBaseInfo: %d", ERROR_NOT_ENOUGH_MEMORY);
        return WSAENOBUFS;
    }
    int index = 0;
    for (const WSAPROTOCOL_INFOW& entry : catalog) {
        if (IsOurChain(entry, state.gLayerCatalogId)) {
            PROVIDER& record = state.gBaseInfo[index++];
            record.LayerProvider = entry;
            DebugMessage("Layer is %s", Narrow(entry.szProtocol).c_str());
            FindNextProvider(catalog, record);
        }
    }
    for (int i = 0; i < state.gLayerCount; ++i) {
        int error = LoadProvider(state.gBaseInfo[i]);
        if (error == 0) {
            error = StartProvider(state.gBaseInfo[i], version, data, callers, upcalls);
        }
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

} // namespace

std::vector<WSAPROTOCOL_INFOW> GetProviders() {
    DWORD size = 0;
    int error = 0;
    if (WSCEnumProtocols(nullptr, nullptr, &size, &error) != SOCKET_ERROR || error != WSAENOBUFS) {
        return {};
    }
    std::vector<WSAPROTOCOL_INFOW> catalog(size / sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, catalog.data(), &size, &error);
    if (count == SOCKET_ERROR) {
        return {};
    }
    catalog.resize(std::size_t(count));
    return catalog;
}

WSAPROTOCOL_INFOW* LowerProtocolInfo(PROVIDER* provider, WSAPROTOCOL_INFOW* callers) {
    return provider->NextProvider.ProtocolChain.ChainLen == BASE_PROTOCOL ? &provider->NextProvider
                                                                          : callers;
}

void FreeProviders() {
    ZulState& state = State();
    for (int i = 0; state.gBaseInfo && i < state.gLayerCount; ++i) {
        PROVIDER& record = state.gBaseInfo[i];
        if (!record.hProvider) {
            continue;
        }
        CloseAndFreeSocketInfo(&record);
        int error = 0;
        if (record.NextProcTable.lpWSPCleanup) {
            record.NextProcTable.lpWSPCleanup(&error);
        }
        FreeLibrary(record.hProvider);
        record.hProvider = nullptr;
    }
    delete[] state.gBaseInfo;
    state.gBaseInfo = nullptr;
    state.gLayerCount = 0;
    if (state.gAddContextEvent) {
        int error = 0;
        state.MainUpcallTable.lpWPUCloseEvent(state.gAddContextEvent, &error);
        state.gAddContextEvent = nullptr;
    }
}

int WSPCleanup(int* lpErrno) {
    ZulState& state = State();
    if (state.gDetached) {
        return 0;
    }
    std::lock_guard lifecycle(Lifecycle());
    std::unique_lock lock(CriticalSection());
    if (state.gEntryCount == 0) {
        *lpErrno = WSANOTINITIALISED;
        DebugMessage("WSPCleanup returning WSAENOTINITIALISED");
        return SOCKET_ERROR;
    }
    DebugMessage("WSPCleanup: %d", --state.gEntryCount);
    if (state.gEntryCount > 0) {
        return 0;
    }
    DebugMessage("WSPCleanup: gEntryCount == 0; cleaning up");
    lock.unlock();
    DestroyWorkerWindow();
    StopOverlappedManager();
    Sleep(200);
    lock.lock();
    FreeProviders();
    return 0;
}

} // namespace zul

extern "C" __attribute__((visibility("default"))) int
WSPStartup(WORD wVersionRequested, WSPDATA* lpWSPData, WSAPROTOCOL_INFOW* lpProtocolInfo,
           WSPUPCALLTABLE UpcallTable, WSPPROC_TABLE* lpProcTable) {
    using namespace zul;
    ZulState& state = State();
    std::lock_guard lifecycle(Lifecycle());
    if (!state.informant) {
        CreateInformant();
    }
    std::lock_guard lock(CriticalSection());
    // Every thread of the provider reads the table: it is written only when
    // the socket layer hands in a different one.
    if (std::memcmp(&state.MainUpcallTable, &UpcallTable, sizeof UpcallTable) != 0) {
        state.MainUpcallTable = UpcallTable;
    }
    if (state.gEntryCount == 0) {
        int error = 0;
        state.gAddContextEvent = UpcallTable.lpWPUCreateEvent(&error);
        if (!state.gAddContextEvent) {
            DebugMessage("WSPStartup: CreateEvent failed: %d", error);
            return WSAENOBUFS;
        }
        FillProcTable(state.gProcTable);
        state.gWSPData = WSPDATA{};
        state.gWSPData.wVersion = MAKEWORD_W(2, 2);
        state.gWSPData.wHighVersion = MAKEWORD_W(2, 2);
        error = BuildProviders(wVersionRequested, lpWSPData, lpProtocolInfo, UpcallTable);
        if (error == 0) {
            error = InitOverlappedManager();
        }
        if (error != 0) {
            FreeProviders();
            return error;
        }
    }
    ++state.gEntryCount;
    *lpWSPData = state.gWSPData;
    *lpProcTable = state.gProcTable;
    DebugMessage("WSPStartup->Number of times loaded: %d", state.gEntryCount);
    return 0;
}
