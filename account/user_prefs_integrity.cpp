// The preference file's integrity code and its record in the registry.

#include "account/account_server.h"
#include "account/user_prefs.h"
#include "common/account_secrets.h"
#include "common/md5.h"
#include "platform/qt/message_box.h"
#include "platform/registry.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr char kSettingsKey[] = "Software\\Quellmark\\Settings";
constexpr DWORD kCodeLength = 5;
constexpr std::size_t kCodeStart = 11;

} // namespace

namespace {

// Code of a file's exact bytes; a file that cannot be read tells why in a box.
std::string IntegrityCodeOf(const std::string& path) {
    std::string digest;
    std::ifstream in(path, std::ios::binary);
    if (in.is_open()) {
        std::ostringstream bytes;
        bytes << in.rdbuf();
        digest = qm::Md5Hex(bytes.str());
    } else {
        platform::MessageBox(std::strerror(errno), kServiceCaption, platform::MB_OK);
    }
    return qm::Md5Hex(digest + qm::IntegrityConstant()).substr(kCodeStart, kCodeLength);
}

// A recorded code; empty when missing or not a string.
std::string ReadCode(HKEY key, const char* name) {
    char recorded[kCodeLength + 1] = {};
    DWORD size = sizeof recorded;
    DWORD type = 0;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(recorded), &size);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(recorded) : std::string();
}

void WriteCode(HKEY key, const char* name, const std::string& code) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                   DWORD(code.size() + 1));
}

HKEY OpenSettings() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

} // namespace

std::string CUserPrefs::IntegrityCode() {
    return IntegrityCodeOf(FilePath());
}

bool CUserPrefs::IntegrityCheckFailed() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return true;
    }
    std::string recorded = ReadCode(key, "OverrideCheck");
    std::string pending = ReadCode(key, "OverrideCheckNew");
    RegCloseKey(key);
    std::string code = IntegrityCode();
    if (!recorded.empty() && code == recorded) {
        return false;
    }
    if (pending.empty() || code != pending) {
        return true;
    }
    RecordIntegrity(-1); // the file was replaced and the record cut short: finish it
    return false;
}

void CUserPrefs::RecordPendingIntegrity(const std::string& newFile) {
    if (HKEY key = OpenSettings()) {
        WriteCode(key, "OverrideCheckNew", IntegrityCodeOf(newFile));
        RegCloseKey(key);
    }
}

void CUserPrefs::RecordIntegrity(int version) {
    HKEY key = OpenSettings();
    if (!key) {
        return;
    }
    WriteCode(key, "OverrideCheck", IntegrityCode());
    if (version >= 0) {
        DWORD value = DWORD(version);
        RegSetValueExA(key, "OverrideVersion", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    RegDeleteValueA(key, "OverrideCheckNew");
    RegCloseKey(key);
}
