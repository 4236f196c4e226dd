#pragma once
// The catalog installer as the setup library runs it: all 13 rows of the
// incompatible table, the report dialog, and the Winsock code of a refused removal.

#include "installer/catalog_installer.h"

class CSetupInstaller : public CCatalogInstaller {
  protected:
    std::size_t incompatibleRowCount() const override;
    void reportIncompatible(const std::string& report) override;
    bool reportsRemovalCodes() const override { return false; }
};
