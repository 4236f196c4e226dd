#include "fuzz/service_fixture.h"

#include "account/user_prefs.h"
#include "platform/qt/message_box.h"
#include "platform/registry.h"
#include "service/app.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fuzz {
namespace {

constexpr char kSettingsKey[] = "Software\\Quellmark\\Settings";

std::string gRoot; // removed at exit

void RemoveRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(gRoot, ignored);
}

std::string MakeRoot() {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("QM_FUZZ_TMPDIR"); tmp && *tmp) {
        base = tmp;
    }
    std::string pattern = base + "/qm-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void SetString(HKEY root, const char* name, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::abort();
    }
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(key);
}

void SetDword(HKEY root, const char* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::abort();
    }
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

} // namespace

ServiceFixture& ServiceFixture::Get() {
    static ServiceFixture* fixture = new ServiceFixture; // lives as long as the process
    return *fixture;
}

ServiceFixture::ServiceFixture() {
    gRoot = MakeRoot();
    std::atexit(RemoveRoot);
    install_ = gRoot + "/install";
    std::filesystem::create_directories(install_ + "/Logs");
    std::filesystem::create_directories(gRoot + "/registry");
    ::setenv("QUELLMARK_REGISTRY_DIR", (gRoot + "/registry").c_str(), 1);
    ::setenv("QUELLMARK_LEGACY_DIR", (gRoot + "/legacy").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("QUELLMARK_MSGBOX_RECORD");

    SetString(HKEY_LOCAL_MACHINE, "Dir", install_);
    SetString(HKEY_LOCAL_MACHINE, "AccountServer", "127.0.0.1:1"); // refused at once
    SetDword(HKEY_CURRENT_USER, "DebugLevel", 0);
    platform::SetMessageBoxHandler(
        [](const std::string&, const std::string&, unsigned) { return platform::IDOK; });

    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    CPCAppApp* app = new CPCAppApp(argc, argv); // lives as long as the process
    app->ReadSettings();
}

void ServiceFixture::WritePreferences(const std::string& text) const {
    std::string path = install_ + "/user.prefs";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
    }
    CUserPrefs().RecordIntegrity(-1);
}

} // namespace fuzz

// Qt loads fontconfig, whose caches live until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
