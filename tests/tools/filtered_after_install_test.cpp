// The whole road of an installation: the setup stand-in installs the provider
// through libkovinst.so, a real program under the socket host is then filtered
// (a site the service blocks is answered by the redirect), and after removal
// the same program gets the page again.

#include "installer/auth_codes.h"
#include "tests/platform/sockhost/http_server.h"
#include "tests/provider/channel_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string kPage = "<html>the page itself</html>\n";

std::string RunSetup(const std::string& arguments) {
    return qmtest::Run(qmtest::BinDir() + "/quellmark-setup " + arguments, false).output;
}

TEST(FilteredAfterInstall, AProgramIsFilteredFromInstallUntilRemoval) {
    qmtest::TempDir root;
    std::string installDir = root / "install";
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", root / "registry");
    std::filesystem::create_directories(installDir + "/Logs");
    qmtest::WriteProviderSettings(installDir, 0);
    qmtest::ChannelServer service(qmtest::FixedReplies("YN", "AB:N"));
    qmtest::HttpServer web(3, kPage);
    std::string curl = "curl -sS -i " + web.url("/page");

    qmtest::RunResult before = qmtest::Run(curl);
    EXPECT_NE(before.output.find("\r\n\r\n" + kPage), std::string::npos) << before.output;

    EXPECT_EQ(RunSetup("install pc-1 " + qm::InstallCode("pc-1")), "result: 0\n");
    qmtest::RunResult filtered = qmtest::Run(curl);
    EXPECT_EQ(filtered.output.rfind("HTTP/1.1 302 Found\n", 0), 0u) << filtered.output;
    EXPECT_NE(filtered.output.find("?site=" + web.url("/page") + "/"), std::string::npos);
    EXPECT_EQ(filtered.output.find(kPage), std::string::npos);

    std::string removal = qm::RemovalCode("pc", "home", std::time(nullptr));
    EXPECT_EQ(RunSetup("uninstall pc home " + removal), "result: 0\n");
    qmtest::RunResult after = qmtest::Run(curl);
    EXPECT_NE(after.output.find("\r\n\r\n" + kPage), std::string::npos) << after.output;

    // Only the request made while the provider was installed was asked about.
    std::size_t sites = 0;
    for (const auto& request : service.Requests()) {
        sites += request.second.starts_with("http://") ? 1 : 0;
    }
    EXPECT_EQ(sites, 1u);
    EXPECT_EQ(web.requests().size(), 3u);
}

} // namespace
