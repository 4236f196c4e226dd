#pragma once
// A fresh installation and registry for tests of the preference file, with the
// application object pointed at it, and message boxes recorded.

#include "platform/qt/message_box.h"
#include "service/app.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace qmtest {

// True when the text has line ends and each is carriage return + line feed.
inline bool EveryLineEndIsCrLf(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r') {
            return false;
        }
        ++count;
    }
    return count > 0;
}

class PrefsFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        installation.WriteSettings(3);
        CPCAppApp::Current()->ReadSettings();
        platform::SetMessageBoxHandler(
            [this](const std::string& caption, const std::string& text, UINT) {
                std::lock_guard guard(boxLock);
                boxes.push_back(caption + "|" + text);
                return platform::IDOK;
            });
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    std::string PrefsPath() const { return installation.InstallDir() + "/user.prefs"; }
    void WritePrefs(const std::string& text) const { std::ofstream(PrefsPath()) << text; }
    std::string ReadPrefs() const {
        std::ifstream in(PrefsPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Boxes() {
        std::lock_guard guard(boxLock);
        return boxes;
    }

    Installation installation;
    ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", installation.RegistryDir()};
    std::mutex boxLock;
    std::vector<std::string> boxes;
};

} // namespace qmtest
