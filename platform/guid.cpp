#include "platform/guid.h"

#include <cerrno>
#include <cstdio>
#include <sys/random.h>

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid) {
        return E_POINTER;
    }
    GUID guid;
    auto* bytes = reinterpret_cast<unsigned char*>(&guid);
    std::size_t done = 0;
    while (done < sizeof guid) {
        ssize_t got = ::getrandom(bytes + done, sizeof guid - done, 0);
        if (got < 0 && errno != EINTR) {
            return E_FAIL;
        }
        done += got > 0 ? std::size_t(got) : 0;
    }
    guid.Data3 = std::uint16_t((guid.Data3 & 0x0FFF) | 0x4000);  // version 4
    guid.Data4[0] = std::uint8_t((guid.Data4[0] & 0x3F) | 0x80); // RFC 4122 variant
    *pguid = guid;
    return S_OK;
}

int StringFromGUID2(const GUID& rguid, WCHAR* lpsz, int cchMax) {
    constexpr int kLength = 39;
    if (!lpsz || cchMax < kLength) {
        return 0;
    }
    char text[kLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(rguid.Data1), unsigned(rguid.Data2), unsigned(rguid.Data3),
                  rguid.Data4[0], rguid.Data4[1], rguid.Data4[2], rguid.Data4[3], rguid.Data4[4],
                  rguid.Data4[5], rguid.Data4[6], rguid.Data4[7]);
    for (int i = 0; i < kLength; ++i) {
        lpsz[i] = WCHAR(text[i]);
    }
    return kLength;
}
