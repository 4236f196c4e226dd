#include "installer/catalog_snapshot.h"

#include "common/wide.h"
#include "platform/catalog.h"

namespace qm {

std::vector<WSAPROTOCOL_INFOW> EnumerateCatalog() {
    DWORD size = 0;
    int error = 0;
    WSCEnumProtocols(nullptr, nullptr, &size, &error);
    std::vector<WSAPROTOCOL_INFOW> records(size / sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, records.data(), &size, &error);
    records.resize(count < 1 ? 0 : std::size_t(count));
    return records;
}

std::string ProtocolName(const WSAPROTOCOL_INFOW& info) {
    return NarrowFromWide(WideField(info.szProtocol, WSAPROTOCOL_LEN + 1));
}

} // namespace qm
