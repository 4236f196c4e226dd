#pragma once
// The provider's entries in the socket catalog, put in and taken out through
// libkovinst.so beside this program, as the product's setup program does.

#include <string>

namespace qmadmin {

// Names of the programs and libraries missing beside this program ("" when none).
std::string MissingPrograms();
// Installs the provider unless the catalog has it already; "" or what failed.
std::string InstallProvider(const std::string& installId, const std::string& code);
// Removes the provider when the catalog has it; "" or what failed.
std::string UninstallProvider(const std::string& first, const std::string& second,
                              const std::string& code);

} // namespace qmadmin
