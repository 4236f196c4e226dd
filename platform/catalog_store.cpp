#include "platform/catalog_store.h"

#include "common/text.h"
#include "platform/fork_fresh.h"
#include "platform/registry_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {
namespace {

constexpr const char* kCatalogKey =
    "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\Protocol_Catalog9";
constexpr const char* kEntriesName = "Catalog_Entries";
constexpr const char* kItemValue = "PackedCatalogItem";
constexpr const char* kNextIdValue = "Next_Catalog_Entry_ID";
constexpr const char* kCountValue = "Num_Catalog_Entries";
constexpr std::size_t kPackedBytes = kPackedPathBytes + sizeof(WSAPROTOCOL_INFOW);
constexpr int kCatalogUnchanged = -1;

std::string EntriesKey() {
    return std::string(kCatalogKey) + "\\" + kEntriesName;
}

std::string EntryKey(std::size_t position) {
    char name[24];
    std::snprintf(name, sizeof name, "%012zu", position);
    return EntriesKey() + "\\" + name;
}

std::string DwordBytes(DWORD number) {
    return std::string(reinterpret_cast<const char*>(&number), sizeof number);
}

DWORD DwordOf(const hive::Key& key, const char* name) {
    const hive::Value* value = hive::FindValue(key, name);
    DWORD number = 0;
    if (value && value->type == REG_DWORD && value->data.size() == sizeof number) {
        std::memcpy(&number, value->data.data(), sizeof number);
    }
    return number;
}

std::optional<CatalogItem> Unpack(const hive::Key& key) {
    const hive::Value* value = hive::FindValue(key, kItemValue);
    if (!value || value->type != REG_BINARY || value->data.size() != kPackedBytes) {
        return std::nullopt; // a damaged entry is left out rather than misread
    }
    CatalogItem item;
    const char* path = value->data.data();
    item.path.assign(path, strnlen(path, kPackedPathBytes));
    std::memcpy(&item.info, value->data.data() + kPackedPathBytes, sizeof item.info);
    item.info.szProtocol[WSAPROTOCOL_LEN] = u'\0';
    return item;
}

std::string Pack(const CatalogItem& item) {
    std::string bytes(kPackedBytes, '\0');
    std::memcpy(bytes.data(), item.path.data(), std::min(item.path.size(), kPackedPathBytes - 1));
    std::memcpy(bytes.data() + kPackedPathBytes, &item.info, sizeof item.info);
    return bytes;
}

// The catalog held by hive, or nothing when the hive has none yet.
std::optional<Catalog> FromHive(const hive::Hive& hive) {
    const hive::Key* root = hive.Find(kCatalogKey);
    if (!root) {
        return std::nullopt;
    }
    Catalog catalog;
    catalog.nextId = std::max(DwordOf(*root, kNextIdValue), kFirstCatalogId);
    for (const std::string& name : hive.Subkeys(EntriesKey())) {
        const hive::Key* key = hive.Find(EntriesKey() + "\\" + name);
        if (auto item = key ? Unpack(*key) : std::nullopt) {
            catalog.nextId = std::max(catalog.nextId, item->info.dwCatalogEntryId + 1);
            catalog.items.push_back(*item);
        }
    }
    return catalog;
}

void ToHive(const Catalog& catalog, hive::Hive& hive) {
    std::string prefix = EntriesKey() + "\\";
    std::erase_if(hive.keys,
                  [&](const hive::Key& key) { return qm::StartsWithNoCase(key.path, prefix); });
    hive::Key& root = hive.Create(kCatalogKey);
    std::erase_if(root.values, [](const hive::Value& value) {
        return qm::EqualsNoCase(value.name, kNextIdValue) ||
               qm::EqualsNoCase(value.name, kCountValue);
    });
    root.values.push_back({kNextIdValue, REG_DWORD, DwordBytes(catalog.nextId)});
    root.values.push_back({kCountValue, REG_DWORD, DwordBytes(DWORD(catalog.items.size()))});
    hive.Create(EntriesKey());
    for (std::size_t i = 0; i < catalog.items.size(); ++i) {
        hive.Create(EntryKey(i + 1))
            .values.push_back({kItemValue, REG_BINARY, Pack(catalog.items[i])});
    }
}

// The catalog of the hive read last: a hive the registry keeps unchanged is
// turned into a catalog once. A forked child starts without it.
struct LastCatalog {
    std::mutex lock;
    std::shared_ptr<const hive::Hive> hive;
    std::optional<Catalog> catalog;
};

std::optional<Catalog> StoredCatalog() {
    std::shared_ptr<const hive::Hive> hive = LoadHive(HKEY_LOCAL_MACHINE);
    LastCatalog& last = ForkFresh<LastCatalog>();
    {
        std::lock_guard lock(last.lock);
        if (hive == last.hive) {
            return last.catalog;
        }
    }
    std::optional<Catalog> catalog = FromHive(*hive);
    std::lock_guard lock(last.lock);
    last.hive = hive;
    last.catalog = catalog;
    return catalog;
}

} // namespace

Catalog LoadCatalog() {
    if (auto stored = StoredCatalog()) {
        return *stored;
    }
    Catalog seeded;
    bool stored = ModifyHive(HKEY_LOCAL_MACHINE, [&](hive::Hive& hive) {
                      seeded = FromHive(hive).value_or(SeedCatalog());
                      ToHive(seeded, hive);
                      return ERROR_SUCCESS;
                  }) == ERROR_SUCCESS;
    // A hive that cannot be written (read-only machine folder) still shows the base entries.
    return stored ? seeded : SeedCatalog();
}

int ModifyCatalog(const std::function<int(Catalog&)>& change) {
    int error = 0;
    LONG stored = ModifyHive(HKEY_LOCAL_MACHINE, [&](hive::Hive& hive) {
        Catalog catalog = FromHive(hive).value_or(SeedCatalog());
        error = change(catalog);
        if (error != 0) {
            return LONG(kCatalogUnchanged);
        }
        ToHive(catalog, hive);
        return ERROR_SUCCESS;
    });
    if (error != 0) {
        return error;
    }
    return stored == ERROR_SUCCESS ? 0 : WSANO_RECOVERY;
}

} // namespace platform
