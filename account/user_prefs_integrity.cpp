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

std::string CUserPrefs::IntegrityCode() {
    std::string digest;
    std::ifstream in(FilePath(), std::ios::binary);
    if (in.is_open()) {
        std::ostringstream bytes;
        bytes << in.rdbuf();
        digest = qm::Md5Hex(bytes.str());
    } else {
        platform::MessageBox(std::strerror(errno), kServiceCaption, platform::MB_OK);
    }
    return qm::Md5Hex(digest + qm::IntegrityConstant()).substr(kCodeStart, kCodeLength);
}

bool CUserPrefs::IntegrityCheckFailed() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return true;
    }
    char recorded[kCodeLength + 1] = {};
    DWORD size = sizeof recorded;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "OverrideCheck", nullptr, &type,
                                   reinterpret_cast<BYTE*>(recorded), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return true;
    }
    return IntegrityCode() != recorded;
}

void CUserPrefs::RecordIntegrity(int version) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::string code = IntegrityCode();
    RegSetValueExA(key, "OverrideCheck", 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                   DWORD(code.size() + 1));
    if (version >= 0) {
        DWORD value = DWORD(version);
        RegSetValueExA(key, "OverrideVersion", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    RegCloseKey(key);
}
