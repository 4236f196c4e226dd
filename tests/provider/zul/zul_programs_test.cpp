// Unmodified programs under the socket host with the provider installed, against
// a stand-in for the filter service's channel: allowed pages arrive intact, a
// denied site is answered by the redirect and nothing after it, a refused
// program cannot connect, and without the service every GET is redirected and
// every connect allowed.

#include "tests/platform/sockhost/http_server.h"
#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string kPage = "<html>window.open('x') and the rest of the page</html>\n";

std::string Redirect(const std::string& url) {
    return "HTTP/1.1 302 Found\nLocation: http://block.tellwyn.com?site=" + url + "/\n\n";
}

class Programs : public ::testing::Test {
  protected:
    qmtest::TempDir root;
    std::string installDir = root / "install";
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", root / "registry"};

    // The test's own sockets (servers) are made before the provider is installed,
    // so this process keeps the base catalog it read first.
    void Install() {
        std::filesystem::create_directories(root / "registry");
        qmtest::MakeLogFolder(installDir);
        qmtest::WriteProviderSettings(installDir, 2);
        ASSERT_TRUE(qmtest::InstallLayerOverInternet());
    }
    static std::string Python(const std::string& code) { return "python3 -c \"" + code + "\""; }
};

TEST_F(Programs, AllowedSiteArrivesIntactInEveryProgram) {
    QM_SKIP_REAL_PROGRAMS_UNDER_SANITIZERS();
    qmtest::ChannelServer service(qmtest::FixedReplies("NN", "AB:N"));
    qmtest::HttpServer web(6, kPage);
    Install();
    std::string port = std::to_string(web.port());
    EXPECT_EQ(qmtest::Run("curl -sS " + web.url("/a")).output, kPage);
    EXPECT_EQ(qmtest::Run("wget -q -O - " + web.url("/b")).output, kPage);
    EXPECT_EQ(qmtest::Run(Python("import http.client as h; c=h.HTTPConnection('127.0.0.1'," + port +
                                 "); c.request('GET','/c'); "
                                 "print(c.getresponse().read().decode(),end='')"))
                  .output,
              kPage);
    qmtest::RunResult nc = qmtest::Run("printf 'GET /d HTTP/1.0\\r\\nHost: x\\r\\n\\r\\n' | "
                                       "nc -q 1 127.0.0.1 " +
                                       port);
    EXPECT_NE(nc.output.find("\r\n\r\n" + kPage), std::string::npos) << nc.output;
    EXPECT_EQ(qmtest::Run(Python("import subprocess,sys; r=subprocess.run(['curl','-sS','" +
                                 web.url("/e") +
                                 "'],capture_output=True); sys.stdout.write(r.stdout.decode())"))
                  .output,
              kPage);
    // An epoll client: python's default selector on this platform is epoll.
    std::string epoll =
        Python("import socket,selectors,sys; s=socket.create_connection(('127.0.0.1'," + port +
               ")); s.setblocking(False); s.send(b'GET /f HTTP/1.0\\r\\nHost: x\\r\\n\\r\\n'); "
               "sel=selectors.EpollSelector(); sel.register(s,selectors.EVENT_READ); d=b''\n"
               "while True:\n sel.select(5); b=s.recv(65536)\n if not b: break\n d+=b\n"
               "sys.stdout.write(d.decode())");
    qmtest::RunResult epollRun = qmtest::Run(epoll);
    EXPECT_NE(epollRun.output.find("\r\n\r\n" + kPage), std::string::npos) << epollRun.output;
    std::vector<std::pair<int, std::string>> requests = service.Requests();
    std::size_t sites = 0;
    for (const auto& request : requests) {
        sites += request.second.starts_with("http://") ? 1 : 0;
    }
    EXPECT_EQ(sites, 6u);
}

TEST_F(Programs, DeniedSiteIsRedirectedAndNothingAfterIt) {
    QM_SKIP_REAL_PROGRAMS_UNDER_SANITIZERS();
    qmtest::ChannelServer service(qmtest::FixedReplies("YN", "AB:N"));
    qmtest::HttpServer web(6, kPage);
    Install();
    std::string url = web.url("/Denied");
    std::string lower = "http://127.0.0.1:" + std::to_string(web.port()) + "/denied";
    EXPECT_EQ(qmtest::Run("curl -sS -i " + url).output, Redirect(lower));
    EXPECT_EQ(qmtest::Run(Python("import http.client as h; c=h.HTTPConnection('127.0.0.1'," +
                                 std::to_string(web.port()) +
                                 "); c.request('GET','/Denied'); r=c.getresponse(); "
                                 "print(r.status, r.getheader('Location'), repr(r.read()))"))
                  .output,
              "302 http://block.tellwyn.com?site=" + lower + "/ b''\n");
    qmtest::RunResult nc = qmtest::Run(
        "printf 'GET /Denied HTTP/1.0\\r\\nHost: 127.0.0.1:" + std::to_string(web.port()) +
        "\\r\\n\\r\\n' | nc -q 1 "
        "127.0.0.1 " +
        std::to_string(web.port()));
    EXPECT_EQ(nc.output, Redirect(lower));
    // wget reads the answer after peeking at it; it does not follow the redirect.
    qmtest::RunResult wget = qmtest::Run("wget -t 1 -O - --max-redirect=0 " + url + " 2>&1");
    EXPECT_NE(wget.output.find("302 Found"), std::string::npos) << wget.output;
    EXPECT_NE(wget.output.find("Location: http://block.tellwyn.com?site=" + lower + "/"),
              std::string::npos);
    EXPECT_EQ(web.requests().size(), 4u);
}

TEST_F(Programs, RefusedProgramCannotConnect) {
    QM_SKIP_REAL_PROGRAMS_UNDER_SANITIZERS();
    qmtest::ChannelServer service(qmtest::FixedReplies("NN", "AB:Y"));
    qmtest::HttpServer web(1, kPage);
    Install();
    qmtest::RunResult curl = qmtest::Run("curl -sS " + web.url() + " 2>&1");
    EXPECT_EQ(curl.status, 7) << curl.output; // could not connect
    bool curlAsked = false;
    for (const auto& request : service.Requests()) {
        curlAsked =
            curlAsked || request.second.starts_with("AB:" + std::to_string(web.port()) + ",curl");
    }
    EXPECT_TRUE(curlAsked);
    EXPECT_TRUE(web.requests().empty());
}

TEST_F(Programs, AProgramIsRefusedByTheNameItsVersionInformationRecords) {
    qmtest::ChannelServer service([](const std::string& request) {
        std::string reply = !request.starts_with("AB:")      ? "NN"
                            : request.ends_with(",chat.exe") ? "AB:Y"
                                                             : "AB:N";
        return qmtest::ChannelAction{qmtest::ChannelAction::Reply, reply};
    });
    qmtest::HttpServer web(1, kPage);
    Install();
    std::string port = std::to_string(web.port());
    qmtest::RunResult chat = qmtest::Run(qmtest::BinDir() + "/connect_probe_chat " + port);
    EXPECT_EQ(chat.output, "refused " + std::to_string(ECONNREFUSED) + "\n");
    EXPECT_EQ(chat.status, 1);
    qmtest::RunResult plain = qmtest::Run(qmtest::BinDir() + "/connect_probe " + port);
    EXPECT_TRUE(plain.output.starts_with("answer HTTP/1.")) << plain.output;
    EXPECT_EQ(web.requests().size(), 1u);
    std::vector<std::string> asked;
    for (const auto& request : service.Requests()) {
        if (request.second.starts_with("AB:")) {
            asked.push_back(request.second);
        }
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"AB:" + port + ",chat.exe",
                                               "AB:" + port + ",connect_probe"}));
    EXPECT_TRUE(qmtest::LogHas(installDir, "-> WSPConnect - BLOCKING APPLICATION\n"));
}

TEST_F(Programs, WithoutTheServiceEveryGetIsRedirectedAndEveryConnectAllowed) {
    QM_SKIP_REAL_PROGRAMS_UNDER_SANITIZERS();
    qmtest::HttpServer web(2, kPage);
    Install();
    std::string lower = "http://127.0.0.1:" + std::to_string(web.port()) + "/page";
    EXPECT_EQ(qmtest::Run("curl -sS -i " + web.url("/page")).output, Redirect(lower));
    EXPECT_EQ(qmtest::Run(Python("import http.client as h; c=h.HTTPConnection('127.0.0.1'," +
                                 std::to_string(web.port()) +
                                 "); c.request('GET','/page'); print(c.getresponse().status)"))
                  .output,
              "302\n");
    EXPECT_EQ(web.requests().size(), 2u); // the connects and the requests went through
    EXPECT_TRUE(qmtest::LogHas(installDir, "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"));
}

} // namespace
