// Debian's chromium, headless, as an account other than root with its sandbox
// on, under the socket host with the provider installed: a site on the
// family's deny list, reached over plain http, ends on the service's own block
// page, which names the site and the reason. The service runs as the same
// account and logs the remembered member in at the browser's first question.

#include "tests/platform/sockhost/http_server.h"
#include "tests/support/family_servers.h"
#include "tests/support/kovari_process.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kAccount = "nobody"; // any account but root

class BlockPageBrowser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(QM_SANITIZER_RUNTIME) != "") {
            GTEST_SKIP() << "the browser is not run under the sanitizers";
        }
        ASSERT_EQ(::access("/usr/bin/chromium", X_OK), 0) << "scripts/bootstrap installs chromium";
        installation.WriteSettings(1);
        family = std::make_unique<qmtest::FamilyServers>(installation.RegistryDir());
        ASSERT_TRUE(family->Ready());
        ASSERT_TRUE(qmtest::InstallLayerOverInternet());
        // The service and the browser run as the same account, as on a family's
        // computer: the account's service answers only its own programs. It
        // reads and writes the installation, and reads the account server's
        // certificate.
        std::string certificate = MachineSetting("AccountServerCAFile");
        ::chmod(fs::path(certificate).parent_path().c_str(), 0755);
        ::chmod(certificate.c_str(), 0644);
        fs::create_directories(profile.path() + "/home");
        for (const std::string& folder : {installation.RegistryDir(), profile.path()}) {
            ASSERT_EQ(qmtest::Run("chown -R " + std::string(kAccount) + " " + folder, false).status,
                      0);
        }
        service = std::make_unique<qmtest::KovariProcess>(
            installation, std::map<std::string, std::string>{}, kAccount);
        ASSERT_TRUE(service->WaitUntilListening());
    }

    static std::string MachineSetting(const char* name) {
        HKEY key = nullptr;
        char value[1024] = {};
        DWORD size = sizeof value - 1;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, KEY_READ, &key);
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        return value;
    }

    // Runs chromium on the address with the browser's own arguments; its output.
    qmtest::RunResult Browse(const std::string& address, const std::string& what) {
        std::string rules = "MAP www.denied.test 127.0.0.1:" + std::to_string(web.port());
        return qmtest::Run(
            "timeout 90 setpriv --reuid=" + std::string(kAccount) +
                " --regid=nogroup --clear-groups env HOME=" + profile.path() +
                "/home LD_PRELOAD=" + qmtest::BuiltFile("libsockhost.so") +
                " chromium --headless --disable-gpu --no-first-run"
                " --disable-background-networking --disable-component-update --disable-sync"
                " --disable-quic --disable-features=HttpsUpgrades --user-data-dir=" +
                profile.path() + "/home/data --host-resolver-rules='" + rules +
                "' --virtual-time-budget=5000 " + what + " " + address + " 2>/dev/null",
            false);
    }

    qmtest::Installation installation;
    qmtest::InstallationEnvironment environment{installation};
    qmtest::TempDir profile;
    qmtest::HttpServer web{8, "<html><body>The denied page itself</body></html>"};
    std::unique_ptr<qmtest::FamilyServers> family;
    std::unique_ptr<qmtest::KovariProcess> service;
};

TEST_F(BlockPageBrowser, ADeniedSiteShowsTheLocalBlockPageWithItsName) {
    qmtest::RunResult dom = Browse("http://www.denied.test/", "--dump-dom");
    EXPECT_NE(dom.output.find("<b id=\"site\">www.denied.test</b>"), std::string::npos)
        << dom.output;
    EXPECT_NE(dom.output.find("family's list of sites"), std::string::npos);
    EXPECT_EQ(dom.output.find("The denied page itself"), std::string::npos);
    ASSERT_FALSE(web.requests().empty()); // the request went out; its answer never arrived

    const char* wanted = std::getenv("QM_BLOCK_PAGE_SCREENSHOT");
    std::string shot = wanted && *wanted ? wanted : profile.path() + "/home/blocked.png";
    qmtest::RunResult picture =
        Browse("http://www.denied.test/",
               "--window-size=820,420 --screenshot=" + profile.path() + "/home/shot.png");
    std::error_code error;
    fs::copy_file(profile.path() + "/home/shot.png", shot, fs::copy_options::overwrite_existing,
                  error);
    EXPECT_FALSE(error) << picture.output;
    EXPECT_GT(fs::file_size(shot, error), 1000u);
}

} // namespace
