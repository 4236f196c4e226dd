#include "provider/lsp_log.h"
#include "provider/provider_settings.h"

#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

namespace {

TEST(LspLog, LineCarriesDateTimeFunctionAndMessage) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    zul::WriteLog(dir.path(), 1, "CInformant::InspectBuffer", "Blocked.....", 1);
    std::regex line(
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d-> CInformant::InspectBuffer - Blocked\.\.\.\.\.\n)");
    EXPECT_TRUE(std::regex_match(qmtest::ReadLog(dir.path()), line)) << qmtest::ReadLog(dir.path());
}

TEST(LspLog, LevelsAboveTheDebugLevelAreNotWritten) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    zul::WriteLog(dir.path(), 2, "f", "level three", 3);
    zul::WriteLog(dir.path(), 2, "f", "level two", 2);
    zul::WriteLog(dir.path(), 0, "f", "level one at zero", 1);
    EXPECT_FALSE(qmtest::LogHas(dir.path(), "level three"));
    EXPECT_TRUE(qmtest::LogHas(dir.path(), "level two"));
    EXPECT_FALSE(qmtest::LogHas(dir.path(), "level one at zero"));
}

TEST(LspLog, MissingFolderOrDirectoryDropsTheLine) {
    qmtest::TempDir dir;
    zul::WriteLog(dir.path(), 3, "f", "dropped", 1); // no Logs folder
    EXPECT_EQ(qmtest::ReadLog(dir.path()), "");
    zul::WriteLog("", 3, "f", "dropped", 1); // no directory at all
}

TEST(LspLog, ConcurrentLinesStayWhole) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    std::string message(900, 'm');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                zul::WriteLog(dir.path(), 1, "f", message, 1);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(qmtest::CountInLog(dir.path(), "-> f - " + message + "\n"), 200);
}

TEST(DebugMessage, FormatsUpTo1024CharactersAtLevelTwo) {
    qmtest::TempDir dir;
    qmtest::MakeLogFolder(dir.path());
    zul::ProcessSettings() = {dir.path(), 2};
    zul::DebugMessage("Layered over %d protocols", 3);
    zul::DebugMessage("%s", std::string(2000, 'x').c_str());
    zul::ProcessSettings() = {dir.path(), 1};
    zul::DebugMessage("not at level one");
    zul::ProcessSettings() = {};
    EXPECT_TRUE(
        qmtest::LogHas(dir.path(), "-> *** DEBUG MESSAGE *** - Layered over 3 protocols\n"));
    EXPECT_TRUE(qmtest::LogHas(dir.path(), " - " + std::string(1024, 'x') + "\n"));
    EXPECT_FALSE(qmtest::LogHas(dir.path(), "not at level one"));
}

TEST(ProviderSettings, DefaultsAreTmpAndNothingLogged) {
    zul::ProviderSettings defaults;
    EXPECT_EQ(defaults.dir, "/tmp");
    EXPECT_EQ(defaults.debugLevel, 0u);
}

} // namespace
