#pragma once
// The catalog installer as the diagnostic tool runs it: 12 rows of the
// incompatible table, a message box instead of the report, 200 and 201 on
// removal, and the removal of one entry chosen in the tree.

#include "installer/catalog_installer.h"

class CDiagInstaller : public CCatalogInstaller {
  public:
    // Removes the entries of one provider id: 0, 200 (not in the catalog) or 201.
    int removeByGuid(const GUID& providerId) { return removeByProviderId(providerId); }

  protected:
    std::size_t incompatibleRowCount() const override;
    void reportIncompatible(const std::string& report) override;
    bool reportsRemovalCodes() const override { return true; }
};
