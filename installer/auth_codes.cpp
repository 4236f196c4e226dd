#include "installer/auth_codes.h"

#include "common/md5.h"
#include "common/text.h"
#include "installer/secrets.h"

namespace qm {

std::string DateDigits(std::time_t day) {
    std::tm local{};
    ::localtime_r(&day, &local);
    char digits[16];
    std::strftime(digits, sizeof digits, "%m%d%y", &local);
    return digits;
}

std::string InstallCode(std::string_view installId) {
    return Md5Hex(ToLower(installId) + InstallSecret()).substr(2, 12);
}

std::string RemovalCode(std::string_view first, std::string_view second, std::time_t day) {
    return Md5Hex(ToLower(first) + ToLower(second) + DateDigits(day) + RemovalSecret())
        .substr(20, 12);
}

std::string UnlockCode(std::time_t day) {
    return Md5Hex(DateDigits(day) + UnlockSecret()).substr(2, 10);
}

bool IsInstallCode(std::string_view installId, std::string_view code) {
    return ToLower(code) == InstallCode(installId);
}

bool IsRemovalCode(std::string_view first, std::string_view second, std::string_view code,
                   std::time_t today) {
    return ToLower(code) == RemovalCode(first, second, today);
}

bool IsUnlockCode(std::string_view typed, std::time_t today) {
    return typed == UnlockCode(today);
}

} // namespace qm
