#pragma once
// Puts the provider into the socket catalog and takes it out again: one hidden
// layered entry, and one protocol chain over every qualifying base provider for
// TCP and for UDP, their GUIDs recorded under "SOFTWARE\Quellmark\GUID". Every
// operation enumerates the catalog afresh, since ids change with each change.
// The setup library and the diagnostic tool each derive from it and say how they
// report incompatible products and removal failures.

#include "platform/winsock_types.h"

#include <cstddef>
#include <string>

class CCatalogInstaller {
  public:
    virtual ~CCatalogInstaller() = default;

    // Results are the small codes of the installer (0 success).
    int install();
    int uninstall();
    // 0 nothing found, 1 the provider is already installed, 2 incompatible
    // products were found and reported.
    int scanCatalog();

    int installLayeredEntry();
    int installChains(int protocol, const char* valueName);
    int moveEntry(DWORD catalogId, std::size_t position);
    int removeRecorded(const char* valueName);
    // Takes catalogId out of the first chain that holds it; 0 when one was repaired.
    int repairChain(DWORD catalogId);

    // The id of the entry with this provider id (the last one in catalog order), 0 if none.
    static DWORD catalogIdOf(const GUID& providerId);
    // The provider id of a catalog id; all zeros when there is no such entry.
    static GUID providerIdOf(DWORD catalogId);
    // 0, or 300, 301, 302 when creating the key, writing or closing it failed.
    static int writeGuid(const char* valueName, const GUID& guid);
    // The recorded GUID; false, and all zeros in guid, when it cannot be read.
    static bool readGuid(const char* valueName, GUID& guid);

  protected:
    // Takes one entry out by provider id (the removal step's core); the repair
    // of chains that referred to it follows.
    int removeByProviderId(const GUID& providerId);

    // Rows of the incompatible product table this tool knows (13 or 12).
    virtual std::size_t incompatibleRowCount() const = 0;
    // Tells the user which incompatible products were found.
    virtual void reportIncompatible(const std::string& report) = 0;
    // The diagnostic tool stops with 200 on an entry that is not in the catalog
    // and with 201 when the removal is refused; the setup library goes on and
    // returns the Winsock error instead.
    virtual bool reportsRemovalCodes() const = 0;

  private:
    int moveRecorded(const char* valueName, std::size_t position, std::size_t& next);
    int removeProtocol(const char* valueName);
};

// Installer result codes.
constexpr int INSTALL_ALREADY_INSTALLED = 10;
constexpr int INSTALL_INCOMPATIBLE = 11;
constexpr int INSTALL_BAD_CODE = 12;
constexpr int UNINSTALL_BAD_CODE = 21;
constexpr int INSTALL_NO_GUID = 100;
constexpr int INSTALL_LAYER_REFUSED = 101;
constexpr int INSTALL_LAYER_MISSING = 110;
constexpr int INSTALL_CHAIN_REFUSED = 111;
constexpr int INSTALL_ORDER_FAILED = 120;
constexpr int REMOVE_NOT_FOUND = 200;
constexpr int REMOVE_REFUSED = 201;
constexpr int REPAIR_NO_PATH = 201;
constexpr int REPAIR_REMOVE_FAILED = 202;
constexpr int REPAIR_REINSTALL_FAILED = 203;
constexpr int REPAIR_NO_CHAIN = 204;
constexpr int REGISTRY_CREATE_FAILED = 300;
constexpr int REGISTRY_WRITE_FAILED = 301;
constexpr int REGISTRY_CLOSE_FAILED = 302;
