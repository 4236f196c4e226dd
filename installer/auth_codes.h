#pragma once
// The installer's authorisation codes and the diagnostic tool's daily unlock code:
// runs of the MD5 digest (32 lower-case hex digits) over the inputs and a secret.

#include <ctime>
#include <string>
#include <string_view>

namespace qm {

// The local date of day as six digits month-day-year ("%m%d%y").
std::string DateDigits(std::time_t day);

// Digits 3 to 14 of MD5(lower(installId) + install secret).
std::string InstallCode(std::string_view installId);
// Digits 21 to 32 of MD5(lower(first) + lower(second) + date + removal secret).
std::string RemovalCode(std::string_view first, std::string_view second, std::time_t day);
// Digits 3 to 12 of MD5(date + unlock secret).
std::string UnlockCode(std::time_t day);

// The given code, lower-cased, against the code for the (lower-cased) inputs;
// removal codes hold for the calendar day they were made for.
bool IsInstallCode(std::string_view installId, std::string_view code);
bool IsRemovalCode(std::string_view first, std::string_view second, std::string_view code,
                   std::time_t today = std::time(nullptr));
// Exact comparison with the day's unlock code: upper-case digits are refused.
bool IsUnlockCode(std::string_view typed, std::time_t today = std::time(nullptr));

} // namespace qm
