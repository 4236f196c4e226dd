// Secure connections of real programs under the socket host with the provider,
// against a local TLS server with a certificate the test makes and a stand-in
// for the service's channel that denies one host: an allowed site loads, a
// denied one fails as a reset connection and the server never sees a byte of
// its ClientHello, also through a proxy's tunnel. Datagrams to port 443 and
// name queries for HTTPS records are refused, others go out.

#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/provider/zul/tls_test_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using qmtest::ReadFile;
using qmtest::TlsServer;
const std::string kScripts = qmtest::kTlsScripts;

class Secure : public ::testing::Test {
  protected:
    qmtest::TempDir root;
    std::string installDir = root / "install";
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", root / "registry"};
    std::string cert = root / "cert.pem";

    Secure() { EXPECT_TRUE(qmtest::MakeTestCertificate(root)); }
    void Install() {
        std::filesystem::create_directories(root / "registry");
        qmtest::MakeLogFolder(installDir);
        qmtest::WriteProviderSettings(installDir, 2);
        ASSERT_TRUE(qmtest::InstallLayerOverInternet());
    }
    // A stand-in name server on 127.0.0.1:53 that logs "TYPE NAME" per query
    // to `queries`; `WithNameServer` runs a command in a private mount
    // namespace where it is the machine's name server.
    std::string queries = root / "queries.txt";
    std::unique_ptr<qmtest::Spawned> StartNameServer() {
        std::ofstream(root / "resolv.conf") << "nameserver 127.0.0.1\n";
        return std::make_unique<qmtest::Spawned>(
            std::vector<std::string>{"/usr/bin/python3", kScripts + "/dns_stand_in.py", queries,
                                     root / "dns-ready"},
            root / "dns-ready");
    }
    std::string WithNameServer(const std::string& command) {
        return "unshare -m sh -c 'mount --bind " + root / "resolv.conf" +
               " /etc/resolv.conf && exec " + command + "'";
    }
    static qmtest::ChannelServer::Script DenyOne(const std::string& denied) {
        return [denied](const std::string& request) {
            std::string reply = request.starts_with("AB:") ? "AB:N"
                                : request == denied        ? "YN"
                                                           : "NN";
            return qmtest::ChannelAction{qmtest::ChannelAction::Reply, reply};
        };
    }
    static std::vector<std::string> Sites(qmtest::ChannelServer& service) {
        std::vector<std::string> sites;
        for (const auto& request : service.Requests()) {
            if (!request.second.starts_with("AB:")) {
                sites.push_back(request.second);
            }
        }
        return sites;
    }
    std::string Curl(const std::string& host, const std::string& port) {
        return "curl -sS -m 10 --cacert " + cert + " --resolve " + host + ":" + port +
               ":127.0.0.1 https://" + host + ":" + port + "/ 2>&1";
    }
    std::string PythonSsl(const std::string& host, const std::string& port) {
        return "python3 -c \"import socket,ssl; c=ssl.create_default_context(cafile='" + cert +
               "'); s=c.wrap_socket(socket.create_connection(('127.0.0.1'," + port +
               ")),server_hostname='" + host +
               "'); s.sendall(b'GET / HTTP/1.0\\r\\n\\r\\n'); "
               "print(s.recv(4096).decode().split(chr(13)+chr(10)*2)[-1],end='')\" 2>&1";
    }
    std::string SClient(const std::string& nameOption, const std::string& port) {
        return "printf 'GET / HTTP/1.0\\r\\n\\r\\n' | timeout 10 openssl s_client -quiet "
               "-verify_return_error -CAfile " +
               cert + " -connect 127.0.0.1:" + port + " " + nameOption + " 2>&1";
    }
};

TEST_F(Secure, AllowedSitesLoadAndDeniedOnesSendNothingInEveryProgram) {
    qmtest::ChannelServer service(DenyOne("https://denied.test/"));
    TlsServer server(root);
    ASSERT_FALSE(server.port().empty());
    Install();
    const std::string& port = server.port();
    struct Case {
        std::string name, command, host;
        bool allowed;
    };
    std::vector<Case> cases = {
        {"curl", Curl("Allowed.Test", port), "allowed.test", true},
        {"curl", Curl("denied.test", port), "denied.test", false},
        {"python ssl", PythonSsl("allowed.test", port), "allowed.test", true},
        {"python ssl", PythonSsl("DENIED.test", port), "denied.test", false},
        {"s_client", SClient("-servername allowed.test", port), "allowed.test", true},
        {"s_client", SClient("-servername denied.test", port), "denied.test", false},
        {"s_client without a name", SClient("-noservername", port), "-", true},
        {"curl to a name resolver", Curl("dns.google", port), "dns.google", false},
        {"python ssl to a name resolver", PythonSsl("Chromium.DNS.NextDNS.io", port), "-", false},
    };
    std::size_t connection = 0;
    for (const Case& c : cases) {
        qmtest::RunResult run = qmtest::Run(c.command);
        std::string seen = server.Connection(++connection);
        if (c.allowed) {
            EXPECT_NE(run.output.find("secure page"), std::string::npos) << c.name << run.output;
            EXPECT_EQ(seen, "hello " + c.host) << c.name;
        } else {
            EXPECT_EQ(run.output.find("secure page"), std::string::npos) << c.name;
            EXPECT_NE(run.status, 0) << c.name;
            EXPECT_EQ(seen, "nothing") << c.name;
        }
    }
    EXPECT_NE(qmtest::Run(Curl("denied.test", port)).output.find("reset"), std::string::npos);
    std::vector<std::string> sites = Sites(service);
    EXPECT_EQ(std::count(sites.begin(), sites.end(), "https://allowed.test/"), 3);
    EXPECT_EQ(std::count(sites.begin(), sites.end(), "https://denied.test/"), 4);
    EXPECT_EQ(std::count(sites.begin(), sites.end(), "https://127.0.0.1/"), 1);
    EXPECT_EQ(sites.size(), 8u); // public name resolvers are refused without asking
}

// A ClientHello over 1.5 KB sent in three pieces: held back until whole, then
// decided; the allowed one arrives intact (the server reads its name and
// completes the handshake), the denied one fails at its last piece.
TEST_F(Secure, AHelloSplitOverThreeSendsIsGatheredBeforeTheDecision) {
    qmtest::ChannelServer service(DenyOne("https://denied.test/"));
    TlsServer server(root);
    Install();
    auto client = [&](const std::string& host) {
        return qmtest::Run("python3 " + kScripts + "/tls_client.py " + host + " " + server.port() +
                           " " + cert + " 3 1600 2>&1");
    };
    qmtest::RunResult allowed = client("allowed.test");
    EXPECT_EQ(server.Connection(1), "hello allowed.test");
    EXPECT_NE(allowed.output.find("page secure page"), std::string::npos) << allowed.output;
    int size = std::stoi(allowed.output.substr(5));
    EXPECT_GT(size, 1500);
    qmtest::RunResult denied = client("denied.test");
    EXPECT_NE(denied.output.find("reset at send 3\nreset later\n"), std::string::npos)
        << denied.output;
    EXPECT_EQ(server.Connection(2), "nothing");
    // sendto with an address on a connected TCP socket is a send like any other.
    qmtest::RunResult sendto = qmtest::Run("python3 " + kScripts + "/tls_client.py denied.test " +
                                           server.port() + " " + cert + " 1 0 sendto 2>&1");
    EXPECT_NE(sendto.output.find("reset at send 1\nreset later\n"), std::string::npos)
        << sendto.output;
    EXPECT_EQ(server.Connection(3), "nothing");
    // So is sendmsg with control data, held back and decided the same way.
    for (std::string host : {"allowed.test", "denied.test"}) {
        qmtest::RunResult sendmsg =
            qmtest::Run("python3 " + kScripts + "/tls_client.py " + host + " " + server.port() +
                        " " + cert + " 2 0 sendmsg 2>&1");
        EXPECT_NE(sendmsg.output.find(host == "allowed.test" ? "page secure page"
                                                             : "reset at send 2\nreset later\n"),
                  std::string::npos)
            << sendmsg.output;
    }
    EXPECT_EQ(server.Connection(4), "hello allowed.test");
    EXPECT_EQ(server.Connection(5), "nothing");
    // And a send made by its number through syscall(), as ctypes programs can.
    qmtest::RunResult raw = qmtest::Run("python3 " + kScripts + "/tls_client.py denied.test " +
                                        server.port() + " " + cert + " 1 0 syscall 2>&1");
    EXPECT_NE(raw.output.find("reset at send 1\nreset later\n"), std::string::npos) << raw.output;
    EXPECT_EQ(server.Connection(6), "nothing");
    EXPECT_EQ(Sites(service),
              (std::vector<std::string>{"https://allowed.test/", "https://denied.test/",
                                        "https://denied.test/", "https://allowed.test/",
                                        "https://denied.test/", "https://denied.test/"}));
}

// Through a proxy (SOCKS 4a, SOCKS 5 with and without a login, HTTP CONNECT)
// the ClientHello in the tunnel decides: the allowed site loads, the denied
// one sends nothing through to the server.
TEST_F(Secure, ThroughAProxyTheSiteInTheTunnelDecides) {
    qmtest::ChannelServer service(DenyOne("https://denied.test/"));
    TlsServer server(root);
    qmtest::Spawned proxy({"python3", kScripts + "/proxy_stand_in.py", root / "proxy.port"},
                          root / "proxy.port");
    std::string proxyPort = ReadFile(root / "proxy.port");
    ASSERT_FALSE(proxyPort.empty());
    Install();
    std::size_t connection = 0;
    for (std::string scheme : {"socks4a://", "socks5h://", "socks5h://kid:secret@", "http://"}) {
        for (std::string host : {"allowed.test", "denied.test"}) {
            qmtest::RunResult run = qmtest::Run("curl -sS -m 10 --cacert " + cert + " -x " +
                                                scheme + "127.0.0.1:" + proxyPort + " https://" +
                                                host + ":" + server.port() + "/ 2>&1");
            bool loads = run.output.find("secure page") != std::string::npos;
            EXPECT_EQ(loads, host == "allowed.test") << scheme << " " << host << run.output;
            EXPECT_EQ(server.Connection(++connection),
                      host == "allowed.test" ? "hello allowed.test" : "nothing")
                << scheme;
        }
    }
    std::vector<std::string> sites = Sites(service);
    EXPECT_EQ(std::count(sites.begin(), sites.end(), "https://allowed.test/"), 4);
    EXPECT_EQ(std::count(sites.begin(), sites.end(), "https://denied.test/"), 4);
}

TEST_F(Secure, WithoutTheServiceASecureSiteIsBlocked) {
    TlsServer server(root);
    Install();
    qmtest::RunResult run = qmtest::Run(Curl("allowed.test", server.port()));
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(server.Connection(1), "nothing");
    EXPECT_TRUE(qmtest::LogHas(installDir, "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"));
}

TEST_F(Secure, DatagramsToPort443AndQueriesForHttpsRecordsAreRefusedOthersGoOut) {
    qmtest::ChannelServer service(DenyOne(""));
    Install();
    qmtest::RunResult run = qmtest::Run("python3 " + kScripts + "/datagrams.py 2>&1");
    EXPECT_EQ(run.output, "53 sendto 4 quic\n443 sendto 13\n53 A sendto True HTTPS 13\n"
                          "53 sendmsg 4 quic\n443 sendmsg 13\n53 A sendmsg True HTTPS 13\n"
                          "53 sendmmsg 2 one two\n443 sendmmsg 13\n53 A sendmmsg True HTTPS 13\n"
                          "53 connected SVCB 13\n53 tcp A True HTTPS 13\n"
                          "443 connected send 13\n443 connected sendmsg 13\n");
}

// The C library's resolver, which sends its queries past the host: address
// queries reach the name server, queries for HTTPS or SVCB records get no
// answer and never leave the program.
TEST_F(Secure, TheCLibraryResolverGivesNoHttpsRecords) {
    Install();
    auto nameServer = StartNameServer();
    ASSERT_TRUE(std::filesystem::exists(root / "dns-ready"));
    qmtest::RunResult run = qmtest::Run(WithNameServer(
        "python3 -c \"import ctypes; c=ctypes.CDLL(None); b=ctypes.create_string_buffer(512); "
        "print([c.res_query(b\\\"allowed.test\\\", 1, t, b, 512) > 0 for t in (1, 65, 64)], "
        "getattr(c, \\\"__res_search\\\")(b\\\"allowed.test\\\", 1, 65, b, 512))\" 2>&1"));
    EXPECT_EQ(run.output, "[True, False, False] -1\n");
    EXPECT_EQ(ReadFile(queries), "1 allowed.test\n");
}

// Firefox sends HTTP/3 with control data (type of service, segmentation
// offload). With HTTP/3 forced for a site, not one of its datagrams reaches
// port 443.
TEST_F(Secure, FirefoxSendsNoHttp3DatagramToPort443) {
    if (std::string(QM_SANITIZER_RUNTIME) != "") {
        GTEST_SKIP() << "the browser is not run under the sanitizers";
    }
    qmtest::ChannelServer service(DenyOne(""));
    Install();
    int quic = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(443);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(quic, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string profile = root / "firefox";
    std::filesystem::create_directories(profile);
    std::ofstream(profile + "/user.js")
        << ("user_pref(\"network.http.http3.alt-svc-mapping-for-testing\", "
            "\"quic.test;h3=:443\");\n"
            "user_pref(\"network.dns.localDomains\", \"quic.test\");\n");
    // Firefox keeps trying; it is ended once the first refusal is logged.
    std::string refused = "A datagram to port 443 is refused";
    qmtest::Run("HOME=" + root.path() + " firefox-esr --headless --no-remote --profile " + profile +
                " https://quic.test/ >/dev/null 2>&1 & browser=$!; for i in $(seq 150); do "
                "grep -qs '" +
                refused + "' " + zul::LogPath(installDir) +
                " && break; sleep 0.2; done; kill $browser; wait");
    char byte = 0;
    EXPECT_EQ(::recv(quic, &byte, 1, MSG_DONTWAIT), -1);
    ::close(quic);
    EXPECT_TRUE(qmtest::LogHas(installDir, refused));
}

// Debian's chromium, headless, as the unprivileged account "nobody" with its
// sandbox on: the allowed site loads, the denied one never sends its
// ClientHello. (The test's certificate is not trusted by chromium, so
// certificate errors are ignored: what is shown is the decision by name.)
// Chromium looks names up itself, here at a stand-in name server (made the
// machine's in a private mount namespace): it asks for address records, and
// not one query for HTTPS records, which hold the keys that would hide a
// site's name, leaves the program, nor is one tried again over TCP.
TEST_F(Secure, ChromiumWithItsSandboxOnLoadsAllowedSitesAndSendsNothingToDeniedOnes) {
    if (std::string(QM_SANITIZER_RUNTIME) != "") {
        GTEST_SKIP() << "the browser is not run under the sanitizers";
    }
    ASSERT_EQ(::getuid(), 0u) << "switching to the unprivileged account needs root";
    TlsServer server(root);
    Install();
    std::string home = root / "home";
    std::filesystem::create_directories(home);
    ASSERT_EQ(
        qmtest::Run("chmod -R a+rX " + root.path() + " && chown -R 65534:65534 " + home, false)
            .status,
        0);
    // The channel belongs to the account it serves: its stand-in runs as "nobody" too.
    std::string asked = home + "/asked.txt";
    qmtest::Spawned service({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                             "/usr/bin/python3", kScripts + "/channel_stand_in.py",
                             "https://denied.test/", asked, home + "/ready"},
                            home + "/ready");
    ASSERT_TRUE(std::filesystem::exists(home + "/ready"));
    auto nameServer = StartNameServer();
    ASSERT_TRUE(std::filesystem::exists(root / "dns-ready"));
    auto browse = [&](const std::string& host) {
        return qmtest::Run(
            WithNameServer("setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + home +
                           " timeout 60 chromium --headless --disable-gpu --no-first-run "
                           "--disable-background-networking --disable-component-update "
                           "--disable-sync --ignore-certificate-errors --user-data-dir=" +
                           home + "/" + host + " --dump-dom https://" + host + ":" + server.port() +
                           "/") +
            " 2>/dev/null");
    };
    qmtest::RunResult allowed = browse("allowed.test");
    EXPECT_NE(allowed.output.find("secure page"), std::string::npos) << allowed.output;
    qmtest::RunResult denied = browse("denied.test");
    EXPECT_EQ(denied.output.find("secure page"), std::string::npos) << denied.output;
    std::string log = ReadFile(root / "server.log");
    EXPECT_NE(log.find("hello allowed.test"), std::string::npos) << log;
    EXPECT_EQ(log.find("hello denied.test"), std::string::npos) << log;
    EXPECT_NE(ReadFile(asked).find("https://denied.test/\n"), std::string::npos);
    std::string looked = ReadFile(queries);
    EXPECT_NE(looked.find("1 allowed.test\n"), std::string::npos) << looked;
    EXPECT_EQ(looked.find("65 "), std::string::npos) << looked;
}

} // namespace
