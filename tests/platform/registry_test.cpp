#include "platform/registry.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class Registry : public ::testing::Test {
  protected:
    qmtest::TempDir dir;
    qmtest::ScopedEnv env{"QUELLMARK_REGISTRY_DIR", dir.path()};

    static HKEY Create(HKEY root, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        return key;
    }
    static void SetString(HKEY key, const char* name, const std::string& text) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 DWORD(text.size() + 1)),
                  ERROR_SUCCESS);
    }
    static void SetDword(HKEY key, const char* name, DWORD number) {
        ASSERT_EQ(
            RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
    }
    static std::string GetString(HKEY key, const char* name) {
        char buffer[512];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS) {
            return "<missing>";
        }
        EXPECT_EQ(type, REG_SZ);
        return std::string(buffer);
    }
    std::string HiveText(const char* file) {
        std::ifstream in(dir / file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteHive(const char* file, const std::string& text) {
        std::ofstream(dir / file, std::ios::binary) << text;
    }
};

TEST_F(Registry, OpenFailsForMissingKeyAndCreateMakesIt) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_ALL_ACCESS, &key),
        ERROR_FILE_NOT_FOUND);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // Key names compare without regard to case; parents exist too.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\quellmark\\SETTINGS", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // The other hive is a different file.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ValuesOfEachTypeRoundTripThroughTheFile) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings");
    SetString(key, "Dir", "c:\\Program \"Files\"\\Quellmark");
    SetDword(key, "DebugLevel", 0xdeadbeef);
    const BYTE blob[] = {0, 1, 0xff, '\n', '"'};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    SetString(key, "Lines", "one\ntwo");
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Settings", 0, KEY_READ, &again),
        ERROR_SUCCESS);
    EXPECT_EQ(GetString(again, "dir"), "c:\\Program \"Files\"\\Quellmark");
    EXPECT_EQ(GetString(again, "Lines"), "one\ntwo");
    DWORD number = 0, size = 4, type = 0;
    ASSERT_EQ(RegQueryValueExA(again, "DebugLevel", nullptr, &type,
                               reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(number, 0xdeadbeefu);
    BYTE back[16];
    size = sizeof back;
    ASSERT_EQ(RegQueryValueExA(again, "Blob", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, size), 0);
    RegCloseKey(again);
    EXPECT_NE(HiveText("HKEY_CURRENT_USER.reg").find("\"DebugLevel\"=dword:deadbeef"),
              std::string::npos);
}

TEST_F(Registry, QuerySizesAndShortBuffers) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings");
    SetString(key, "Dir", "/opt/quellmark");
    DWORD size = 0, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 15u); // counts the terminating NUL
    char small[4];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 15u);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationAndDeletion) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles");
    SetString(key, "zed", "1");
    SetString(key, "anna", "2");
    SetString(key, "zed", "3"); // rewriting keeps the first position
    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "zed");
    EXPECT_EQ(nameSize, 3u);
    nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "anna");
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteValueA(key, "ZED"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "zed"), "<missing>");
    EXPECT_EQ(RegDeleteValueA(key, "zed"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Quellmark");
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Quellmark\\Alpha"));
    nameSize = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Alpha");
    nameSize = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(parent, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "UserProfiles");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quellmark"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "Alpha"), ERROR_SUCCESS);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(parent, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(parent);
}

// The user hive holds the remembered password: only its owner reads it, also
// when an earlier version left it readable by everyone.
TEST_F(Registry, TheUserHiveIsTheOwnersAloneAndTheMachineHiveIsReadable) {
    WriteHive("HKEY_CURRENT_USER.reg", "REGEDIT4\n");
    std::filesystem::permissions(dir / "HKEY_CURRENT_USER.reg", std::filesystem::perms(0644));
    HKEY user = Create(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles");
    SetString(user, "", "anna~secret");
    RegCloseKey(user);
    HKEY machine = Create(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings");
    SetString(machine, "Dir", "/opt/quellmark");
    RegCloseKey(machine);
    auto mode = [&](const char* file) {
        return int(std::filesystem::status(dir / file).permissions() & std::filesystem::perms::all);
    };
    EXPECT_EQ(mode("HKEY_CURRENT_USER.reg"), 0600);
    EXPECT_EQ(mode("HKEY_CURRENT_USER.reg.lock"), 0600);
    EXPECT_EQ(mode("HKEY_LOCAL_MACHINE.reg"), 0644);
}

TEST_F(Registry, HandlesFailOnTheirOwn) {
    HKEY bogus = reinterpret_cast<HKEY>(std::uintptr_t(0x1234));
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(bogus, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Q");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, GarbledHiveReadsDamagedKeysAsMissingAndIsNeverOverwritten) {
    const std::string garbled = "REGEDIT4\n\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Good]\n"
                                "\"Dir\"=\"/opt/quellmark\"\n\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Bad]\n"
                                "\"Level\"=dword:12zz\n"
                                "\"Name\"=\"x\"\n\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Cut]\n"
                                "\"Dir\"=\"/opt/qu";
    WriteHive("HKEY_LOCAL_MACHINE.reg", garbled);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Good", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "Dir"), "/opt/quellmark");
    EXPECT_EQ(RegSetValueExA(key, "New", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2),
              ERROR_BADDB);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Bad", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cut", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &created, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(HiveText("HKEY_LOCAL_MACHINE.reg"), garbled);
}

TEST_F(Registry, ArbitraryBytesNeverCrashAReader) {
    std::string noise = "REGEDIT4\n";
    unsigned seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        const char alphabet[] = "[]\"\\=@:,\nhexdword(0)HKEY_LOCAL_MACHINE\x01\xff";
        noise += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
    }
    WriteHive("HKEY_LOCAL_MACHINE.reg", noise);
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) {
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
        }
        RegCloseKey(key);
    }
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &created, nullptr),
              ERROR_BADDB);
}

// A hive read once is kept while its file is unchanged; each way another
// program may change the file, at once and keeping its size, is still seen,
// and so is a process giving up its right to read it.
TEST_F(Registry, AKeptHiveSeesEveryChangeOfItsFile) {
    auto hive = [](const char* value) {
        return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Q]\n\"Name\"=\"" + std::string(value) +
               "\"\n\n";
    };
    auto name = [&] {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Q", 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::string("<missing>");
        }
        std::string text = GetString(key, "Name");
        RegCloseKey(key);
        return text;
    };
    // One folder for each way of changing: rewritten in place, rewritten in
    // place with its modification time set back (as a copy keeping times does),
    // written through the registry.
    qmtest::TempDir folders[3];
    for (auto& folder : folders) {
        std::ofstream(folder / "HKEY_LOCAL_MACHINE.reg", std::ios::binary) << hive("aaaa");
        // Only its owner may read it; anyone may look it up.
        ::chmod((folder / "HKEY_LOCAL_MACHINE.reg").c_str(), 0600);
        ::chmod(folder.path().c_str(), 0755);
    }
    // Files changed just before they are read are never kept: let them settle.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (auto& folder : folders) {
        qmtest::ScopedEnv here("QUELLMARK_REGISTRY_DIR", folder.path());
        ASSERT_EQ(name(), "aaaa");
        ASSERT_EQ(name(), "aaaa");
    }
    if (::geteuid() == 0) {
        // A child that gives up its privileges no longer reads the kept hive.
        qmtest::ScopedEnv here("QUELLMARK_REGISTRY_DIR", folders[0].path());
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool dropped = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
            ::_exit(dropped && name() == "<missing>" ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    {
        qmtest::ScopedEnv here("QUELLMARK_REGISTRY_DIR", folders[0].path());
        std::ofstream(folders[0] / "HKEY_LOCAL_MACHINE.reg", std::ios::binary) << hive("bbbb");
        EXPECT_EQ(name(), "bbbb");
    }
    {
        qmtest::ScopedEnv here("QUELLMARK_REGISTRY_DIR", folders[1].path());
        std::string file = folders[1] / "HKEY_LOCAL_MACHINE.reg";
        struct stat old {};
        ASSERT_EQ(::stat(file.c_str(), &old), 0);
        std::ofstream(file, std::ios::binary) << hive("cccc");
        timespec times[2] = {old.st_atim, old.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        EXPECT_EQ(name(), "cccc");
    }
    {
        qmtest::ScopedEnv here("QUELLMARK_REGISTRY_DIR", folders[2].path());
        HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Q");
        SetString(key, "Name", "dddd");
        RegCloseKey(key);
        EXPECT_EQ(name(), "dddd");
    }
}

// Two processes each write 200 values of their own into the same key at once;
// every value of both must be in the hive afterwards.
TEST_F(Registry, ConcurrentWritersFromTwoProcessesLoseNothing) {
    constexpr int kValues = 200;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Race", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                ::_exit(1);
            }
            for (int i = 0; i < kValues; ++i) {
                std::string name = "p" + std::to_string(child) + "_" + std::to_string(i);
                DWORD value = DWORD(i);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), 4) != ERROR_SUCCESS) {
                    ::_exit(2);
                }
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\Race", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kValues; ++i) {
            std::string name = "p" + std::to_string(child) + "_" + std::to_string(i);
            DWORD value = 0, size = 4;
            ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS)
                << name;
            EXPECT_EQ(value, DWORD(i));
        }
    }
    RegCloseKey(key);
}

} // namespace
