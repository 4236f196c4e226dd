// Settings and the log level rule of the application object, in process.

#include "service/app.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class AppSettings : public ::testing::Test {
  protected:
    qmtest::Installation installation;
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", installation.RegistryDir()};
    CPCAppApp& app = *CPCAppApp::Current();
};

TEST_F(AppSettings, LevelTwoWritesLevelsOneAndTwoOnly) {
    installation.WriteSettings(2);
    EXPECT_TRUE(app.ReadSettings());
    EXPECT_EQ(app.InstallFolder(), installation.InstallDir());
    EXPECT_EQ(app.LogLevel(), 2u);
    app.Log("Test::One", "first", 1);
    app.Log("Test::Two", "second", 2);
    app.Log("CPCAppApp::InitInstance", "Registering the Fast User Switch message", 3);
    auto lines = installation.LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("-> Test::One - first"));
    EXPECT_TRUE(lines[1].ends_with("-> Test::Two - second"));
}

TEST_F(AppSettings, MachineKeyAbsentGivesTheDefaultFolderAndIgnoresTheUserLevel) {
    installation.WriteSettings(3);
    std::filesystem::remove(installation.RegistryDir() + "/HKEY_LOCAL_MACHINE.reg");
    EXPECT_FALSE(app.ReadSettings());
    EXPECT_EQ(app.InstallFolder(), "/opt/quellmark");
    EXPECT_EQ(app.LogLevel(), 0u);
}

TEST_F(AppSettings, UserKeyAbsentMeansLevelZeroAndNoStartupLists) {
    installation.WriteSettings(-1);
    EXPECT_FALSE(app.ReadSettings());
    EXPECT_EQ(app.InstallFolder(), installation.InstallDir());
    EXPECT_EQ(app.LogLevel(), 0u);
    app.Log("Test::One", "dropped", 1);
    EXPECT_FALSE(std::filesystem::exists(installation.LogFile()));
}

TEST_F(AppSettings, DirLongerThanItsBufferGivesTheDefault) {
    std::ofstream(installation.RegistryDir() + "/HKEY_LOCAL_MACHINE.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quellmark\\Settings]\n\"Dir\"=\""
        << std::string(255, 'x') << "\"\n";
    app.ReadSettings();
    EXPECT_EQ(app.InstallFolder(), "/opt/quellmark");
    std::ofstream(installation.RegistryDir() + "/HKEY_LOCAL_MACHINE.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quellmark\\Settings]\n\"Dir\"=\"/"
        << std::string(253, 'y') << "\"\n";
    app.ReadSettings();
    EXPECT_EQ(app.InstallFolder(), "/" + std::string(253, 'y'));
}

TEST_F(AppSettings, MissingLogsFolderDropsTheMessageSilently) {
    installation.WriteSettings(3);
    app.ReadSettings();
    std::filesystem::remove_all(installation.InstallDir() + "/Logs");
    app.Log("Test::One", "nowhere to go", 1);
    EXPECT_FALSE(std::filesystem::exists(installation.InstallDir() + "/Logs"));
}

} // namespace
