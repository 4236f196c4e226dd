#include "account/saved_profiles.h"

#include "account/account_server.h"
#include "platform/registry.h"

namespace {

constexpr char kProfilesKey[] = "Software\\Quellmark\\UserProfiles";
constexpr DWORD kNameBuffer = 30;       // names of up to 29 characters
constexpr DWORD kRememberedBuffer = 50; // "name~password" of up to 49 characters

void SetString(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD(text.size() + 1));
}

} // namespace

std::vector<std::string> SavedUserNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProfilesKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[kNameBuffer] = {};
        char data[kNameBuffer] = {};
        DWORD nameSize = kNameBuffer;
        DWORD dataSize = kNameBuffer - 1;
        DWORD type = 0;
        LONG result = RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && nameSize > 0 && type == REG_SZ) {
            names.emplace_back(data);
        }
    }
    RegCloseKey(key);
    return names;
}

bool ReadRememberedMember(std::string& user, std::string& password) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProfilesKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    char saved[kRememberedBuffer] = {};
    DWORD size = kRememberedBuffer;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(saved), &size);
    RegCloseKey(key);
    std::string text = saved;
    if (result != ERROR_SUCCESS || type != REG_SZ || text.empty()) {
        return false;
    }
    std::size_t tilde = text.find('~');
    user = tilde == std::string::npos ? std::string() : text.substr(0, tilde);
    password = tilde == std::string::npos ? text : text.substr(tilde + 1);
    return true;
}

void SaveProfile(const std::string& user, const std::string& password, bool remember) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kProfilesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (!user.empty()) {
        SetString(key, user.c_str(), user);
    }
    if (remember) {
        SetString(key, "", user + "~" + password);
    }
    RegCloseKey(key);
}

void ForgetRememberedMember() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kProfilesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    SetString(key, "", "");
    RegCloseKey(key);
}

bool PostLogin(const std::string& user, const std::string& password, std::string& answer) {
    CAccountServer server;
    int challenge = server.NewChallenge();
    answer =
        server.Post(AccountServerHost(), kLoginPath, AccountRequestBody(user, password, challenge));
    return server.VerifyAnswer(answer, challenge);
}
