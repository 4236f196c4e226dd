#pragma once
// The provider's settings from the registry: the installation folder and the
// log level (GetSettings), and the GUID of its own layered catalog entry
// (RetrieveGUID).

#include "platform/wintypes.h"

namespace zul {

// Fills the process-wide ProviderSettings; false (with the defaults standing)
// when a step fails.
bool GetSettings();
bool RetrieveGUID(GUID* guid, const char* valueName);

} // namespace zul
