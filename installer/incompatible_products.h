#pragma once
// Layered providers of other products that are known not to work beside ours:
// the catalog protocol name (compared whole, without regard to case) and the text
// shown to the user for it.

#include <cstddef>
#include <string>
#include <vector>

namespace qm {

struct IncompatibleProduct {
    std::string protocolName;
    std::string shownText;
};

// The table's rows in order; the diagnostic tool knows the first 12 of 13.
std::vector<IncompatibleProduct> IncompatibleProducts();
constexpr std::size_t kSetupIncompatibleRows = 13;
constexpr std::size_t kDiagIncompatibleRows = 12;

} // namespace qm
