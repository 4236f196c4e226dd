#pragma once
// Names of the registry values that record the chains of one protocol. Value N
// ("2" for TCP, "3" for UDP) names the chain installed last; when a protocol has
// several qualifying base providers, the chains installed before it are recorded
// as "N.1", "N.2", ... in the order they were installed, so that all of them can
// be ordered to the front and removed again.

#include <string>

namespace qm {

std::string ExtraChainValue(const char* valueName, int index);
// Deletes "N.1", "N.2", ... left by an earlier install.
void ForgetExtraChains(const char* valueName);

} // namespace qm
