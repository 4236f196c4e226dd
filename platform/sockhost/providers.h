#pragma once
// The providers of one process: the catalog as the host read it, the choice of
// the catalog entry for a new socket, and the provider libraries, each loaded
// with dlopen and started with WSPStartup once per process.

#include "platform/winsock_spi.h"

#include <string>

namespace sockhost {

struct Provider {
    std::string path; // the library path, variables expanded
    void* library = nullptr;
    LPWSPSTARTUP startup = nullptr;
    WSPPROC_TABLE procs{};
    WSPDATA data{};
    bool started = false;
};

// The first entry in catalog order that a socket of this family, type and
// protocol takes (catalog numbers); false when the catalog has none.
bool ChooseEntry(int af, int type, int protocol, WSAPROTOCOL_INFOW& entry);

// The entry with this catalog id; false when there is none.
bool FindEntry(DWORD catalogId, WSAPROTOCOL_INFOW& entry);

// The entry's provider, loaded and started on first use; null with *err set.
Provider* StartedProvider(const WSAPROTOCOL_INFOW& entry, int* err);

// The started provider whose library serves this catalog id, or null.
Provider* ProviderOfCatalogId(DWORD catalogId);

// WSPCleanup of every started provider, and the catalog is read again on next use.
void CleanupProviders();

// Fork handlers: the lock is held across fork; in the child every provider
// counts as not started (the child starts them afresh) and nothing is cleaned up.
void PrepareForkProviders();
void ParentAfterForkProviders();
void ChildAfterForkProviders();

// The upcall table handed to every provider.
const WSPUPCALLTABLE& Upcalls();

} // namespace sockhost
