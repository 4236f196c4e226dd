#include "provider/lsp_log.h"

#include "provider/provider_settings.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace zul {
namespace {

std::string VFormat(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return {};
    }
    std::string text(std::size_t(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(std::size_t(length));
    return text;
}

std::string DateAndTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S", &local);
    return stamp;
}

} // namespace

std::string LogPath(const std::string& dir) {
    return dir + "/Logs/LspLog.txt";
}

void WriteLog(const std::string& dir, DWORD debugLevel, const char* function,
              std::string_view message, DWORD level) {
    if (level > debugLevel || dir.empty()) {
        return;
    }
    std::string line = DateAndTime() + "-> " + function + " - ";
    line.append(message).append("\n");
    int fd = ::open(LogPath(dir).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    (void)!::write(fd, line.data(), line.size());
    ::close(fd);
}

std::string FormatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = VFormat(format, arguments);
    va_end(arguments);
    return text;
}

void DebugMessage(const char* format, ...) {
    constexpr DWORD kLevel = 2;
    const ProviderSettings& settings = ProcessSettings();
    if (kLevel > settings.debugLevel || settings.dir.empty()) {
        return; // not written: not formatted either
    }
    va_list arguments;
    va_start(arguments, format);
    std::string text = VFormat(format, arguments);
    va_end(arguments);
    if (text.size() > 1024) {
        text.resize(1024);
    }
    WriteLog(settings.dir, settings.debugLevel, "*** DEBUG MESSAGE ***", text, kLevel);
}

} // namespace zul
