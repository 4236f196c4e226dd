#include "platform/error_text.h"

namespace platform {
namespace {

struct ErrorText {
    LONG error;
    const char* text;
};

constexpr ErrorText kTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_BADDB, "The configuration registry database is corrupt."},
    {ERROR_CANTWRITE, "The configuration registry key could not be written."},
};

} // namespace

std::string SystemErrorText(LONG error) {
    for (const ErrorText& entry : kTexts) {
        if (entry.error == error) {
            return entry.text;
        }
    }
    return "Unknown error " + std::to_string(error) + ".";
}

} // namespace platform
