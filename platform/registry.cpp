#include "platform/registry.h"

#include "common/text.h"
#include "platform/hive_file.h"
#include "platform/registry_hive.h"
#include "platform/registry_store.h"
#include "platform/system_install.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

struct HKEY__ {
    HKEY root;
    std::string path;
};

namespace platform {
namespace {

using hive::Hive;

std::mutex gHandlesLock;
std::set<HKEY>& Handles() {
    static std::set<HKEY> handles;
    return handles;
}

bool IsPredefined(HKEY key) {
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER;
}

const char* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// Resolves a handle to its root and key path; false for an unknown handle.
bool Resolve(HKEY key, HKEY& root, std::string& path) {
    if (IsPredefined(key)) {
        root = key;
        path.clear();
        return true;
    }
    std::lock_guard lock(gHandlesLock);
    if (!Handles().count(key)) {
        return false;
    }
    root = key->root;
    path = key->path;
    return true;
}

std::string JoinPath(const std::string& base, const char* subKey) {
    std::string_view sub = subKey ? subKey : "";
    while (!sub.empty() && sub.front() == '\\') {
        sub.remove_prefix(1);
    }
    while (!sub.empty() && sub.back() == '\\') {
        sub.remove_suffix(1);
    }
    if (sub.empty()) {
        return base;
    }
    return base.empty() ? std::string(sub) : base + '\\' + std::string(sub);
}

bool ValidName(std::string_view name) {
    return std::none_of(name.begin(), name.end(), [](char c) { return std::uint8_t(c) < 0x20; });
}

void MakeDirectories(const std::string& file) {
    std::string dir = file.substr(0, file.rfind('/'));
    for (std::size_t at = 1; at != std::string::npos && at <= dir.size();) {
        at = dir.find('/', at);
        ::mkdir(dir.substr(0, at).c_str(), 0755);
        if (at != std::string::npos) {
            ++at;
        }
    }
}

bool WriteWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += std::size_t(put);
    }
    return true;
}

// The user hive holds the remembered password: only its owner may read it.
mode_t HiveMode(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? 0644 : 0600;
}

// Flushes a folder, so that a rename in it reaches the disk.
void SyncFolder(const std::string& file) {
    std::string folder = file.substr(0, file.rfind('/'));
    int fd = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

LONG ReplaceHive(const std::string& path, const std::string& text, mode_t mode) {
    std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." +
                       std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        return ERROR_ACCESS_DENIED;
    }
    bool written = ::fchmod(fd, mode) == 0 && WriteWhole(fd, text) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return ERROR_CANTWRITE;
    }
    SyncFolder(path);
    return ERROR_SUCCESS;
}

HKEY NewHandle(HKEY root, std::string path) {
    HKEY handle = new HKEY__{root, std::move(path)};
    std::lock_guard lock(gHandlesLock);
    Handles().insert(handle);
    return handle;
}

const hive::Key* FindReadable(const Hive& hive, const std::string& path) {
    const hive::Key* key = hive.Find(path);
    return key && !key->damaged ? key : nullptr;
}

bool KeyExists(const Hive& hive, const std::string& path) {
    if (path.empty()) {
        return true;
    }
    const hive::Key* key = hive.Find(path);
    return key ? !key->damaged : hive.HasSubkeys(path);
}

} // namespace

std::shared_ptr<const Hive> LoadHive(HKEY root) {
    return ReadHiveFile(HivePath(root), RootName(root));
}

LONG ModifyHive(HKEY root, const std::function<LONG(Hive&)>& change) {
    std::string path = HivePath(root);
    MakeDirectories(path);
    int lockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, HiveMode(root));
    if (lockFd < 0) {
        return ERROR_ACCESS_DENIED;
    }
    while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    Hive hive = ReadHiveFileAfresh(path, RootName(root));
    LONG result = hive.damaged ? ERROR_BADDB : change(hive);
    if (result == ERROR_SUCCESS) {
        result = ReplaceHive(path, hive::Format(hive, RootName(root)), HiveMode(root));
        ForgetHiveFile(path);
    }
    ::close(lockFd); // releases the flock
    return result;
}

std::string HivePath(HKEY root) {
    std::string file = std::string(RootName(root)) + ".reg";
    // A filtered account of the system-wide install reads the machine's own
    // settings and keeps its user hive in its own folder: the environment
    // cannot point either elsewhere.
    if (const SystemInstall& install = SystemWideInstall(); install.filtered) {
        return (root == HKEY_LOCAL_MACHINE ? std::string(kMachineSettingsDir) : install.folder) +
               "/" + file;
    }
    if (const char* dir = std::getenv("QUELLMARK_REGISTRY_DIR"); dir && *dir) {
        return std::string(dir) + "/" + file;
    }
    if (root == HKEY_LOCAL_MACHINE) {
        return std::string(kMachineSettingsDir) + "/" + file;
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return std::string(config) + "/quellmark/" + file;
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/quellmark/" + file;
}

} // namespace platform

using namespace platform;

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM, HKEY* result) {
    HKEY base;
    std::string path;
    if (!result || !Resolve(root, base, path)) {
        return ERROR_INVALID_HANDLE;
    }
    path = JoinPath(path, subKey);
    if (!KeyExists(*LoadHive(base), path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(base, path);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD, char*, DWORD, REGSAM, void*,
                     HKEY* result, DWORD* disposition) {
    HKEY base;
    std::string path;
    if (!result || !Resolve(root, base, path)) {
        return ERROR_INVALID_HANDLE;
    }
    path = JoinPath(path, subKey);
    if (!ValidName(path)) {
        return ERROR_INVALID_PARAMETER;
    }
    bool created = false;
    LONG rc = ModifyHive(base, [&](Hive& hive) {
        if (!path.empty() && !hive.Find(path)) {
            hive.Create(path);
            created = true;
        }
        return created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
    });
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) {
        return rc;
    }
    if (disposition) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = NewHandle(base, path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (data && !dataSize) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<const Hive> hive = LoadHive(root);
    const hive::Key* found = FindReadable(*hive, path);
    const hive::Value* value =
        found ? hive::FindValue(*found, valueName ? valueName : "") : nullptr;
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string bytes = value->data;
    if (value->type == REG_SZ) {
        bytes += '\0';
    }
    if (type) {
        *type = value->type;
    }
    if (!dataSize) {
        return ERROR_SUCCESS;
    }
    DWORD room = *dataSize;
    *dataSize = DWORD(bytes.size());
    if (!data) {
        return ERROR_SUCCESS;
    }
    if (room < bytes.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    std::string name = valueName ? valueName : "";
    if (!ValidName(name) || (!data && dataSize)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
    if (type == REG_SZ) {
        bytes = bytes.substr(0, bytes.find('\0'));
    }
    return ModifyHive(root, [&](Hive& hive) {
        if (!KeyExists(hive, path)) {
            return ERROR_FILE_NOT_FOUND; // deleted since it was opened
        }
        hive::Key& target = hive.Create(path);
        if (hive::Value* value = hive::FindValue(target, name)) {
            value->type = type;
            value->data = bytes;
        } else {
            target.values.push_back(hive::Value{name, type, bytes});
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    std::string name = valueName ? valueName : "";
    return ModifyHive(root, [&](Hive& hive) {
        hive::Key* target = hive.Find(path);
        if (!target) {
            return ERROR_FILE_NOT_FOUND;
        }
        auto& values = target->values;
        auto it = std::find_if(values.begin(), values.end(), [&](const hive::Value& v) {
            return qm::EqualsNoCase(v.name, name);
        });
        if (it == values.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        values.erase(it);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD*,
                   DWORD* type, BYTE* data, DWORD* dataSize) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!valueName || !valueNameSize || (data && !dataSize)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<const Hive> hive = LoadHive(root);
    const hive::Key* found = FindReadable(*hive, path);
    if (!found || index >= found->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const hive::Value& value = found->values[index];
    if (*valueNameSize <= value.name.size()) {
        *valueNameSize = DWORD(value.name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(valueName, value.name.c_str(), value.name.size() + 1);
    *valueNameSize = DWORD(value.name.size());
    return RegQueryValueExA(key, valueName, nullptr, type, data, dataSize);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char*, DWORD*,
                   void*) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!name || !nameSize) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> names = LoadHive(root)->Subkeys(path);
    if (index >= names.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string& found = names[index];
    if (*nameSize <= found.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = DWORD(found.size());
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
    HKEY root;
    std::string path;
    if (!Resolve(key, root, path)) {
        return ERROR_INVALID_HANDLE;
    }
    path = JoinPath(path, subKey);
    if (path.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    return ModifyHive(root, [&](Hive& hive) {
        if (hive.HasSubkeys(path)) {
            return ERROR_ACCESS_DENIED;
        }
        auto it = std::find_if(hive.keys.begin(), hive.keys.end(),
                               [&](const hive::Key& k) { return qm::EqualsNoCase(k.path, path); });
        if (it == hive.keys.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        hive.keys.erase(it);
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    if (IsPredefined(key)) {
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(gHandlesLock);
    if (!Handles().erase(key)) {
        return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}
