#pragma once
// How the catalog is kept in the machine hive, as Windows keeps it: below
// Protocol_Catalog9, one key per entry in catalog order ("000000000001", ...),
// each with a "PackedCatalogItem" of the library path (260 bytes, NUL-padded)
// followed by the 628-byte record; "Next_Catalog_Entry_ID" and
// "Num_Catalog_Entries" beside them.

#include "platform/catalog.h"

#include <functional>
#include <vector>

namespace platform {

struct Catalog {
    std::vector<CatalogItem> items;
    DWORD nextId = 0;
};

inline constexpr DWORD kFirstCatalogId = 1001;
inline constexpr std::size_t kPackedPathBytes = 260;

// The base entries of a catalog that does not exist yet.
Catalog SeedCatalog();
// The stored catalog; a missing one is seeded (and stored when the hive allows).
Catalog LoadCatalog();
// Runs change on the current catalog under the hive's write lock and stores the
// result when change returns 0. Returns change's Winsock error, or WSANO_RECOVERY
// when the catalog cannot be stored.
int ModifyCatalog(const std::function<int(Catalog&)>& change);

} // namespace platform
