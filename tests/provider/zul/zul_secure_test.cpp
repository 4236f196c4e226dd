// Secure connections of real programs under the socket host with the provider,
// against a local TLS server with a certificate the test makes and a stand-in
// for the service's channel that denies one host: an allowed site loads, a
// denied one fails as a reset connection and the server never sees a byte of
// its ClientHello. Datagrams to port 443 are refused, others go out.

#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

const std::string kScripts = QM_TEST_SCRIPTS;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The TLS server of tls_server.py, outside the socket host; stopped when the
// test ends, however it ends.
class TlsServer {
  public:
    explicit TlsServer(const qmtest::TempDir& root) : log_(root / "server.log") {
        std::string portFile = root / "server.port";
        std::vector<std::string> args = {
            "python3", kScripts + "/tls_server.py", root / "cert.pem", root / "key.pem", log_,
            portFile};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> env;
        for (char** e = environ; *e; ++e) {
            if (!std::string_view(*e).starts_with("LD_PRELOAD=")) {
                env.push_back(*e);
            }
        }
        env.push_back(nullptr);
        if (::posix_spawnp(&pid_, "python3", nullptr, nullptr, argv.data(), env.data()) != 0) {
            pid_ = -1;
            return;
        }
        for (int i = 0; i < 100 && !std::filesystem::exists(portFile); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        port_ = ReadFile(portFile);
    }
    ~TlsServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    const std::string& port() const { return port_; }
    // The line the server logged for its nth connection (from 1), waiting for it.
    std::string Connection(std::size_t n) const {
        for (int i = 0; i < 200; ++i) {
            std::istringstream lines(ReadFile(log_));
            std::string line;
            for (std::size_t k = 1; std::getline(lines, line); ++k) {
                if (k == n) {
                    return line;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "(no connection)";
    }

  private:
    std::string log_;
    std::string port_;
    pid_t pid_ = -1;
};

class Secure : public ::testing::Test {
  protected:
    qmtest::TempDir root;
    std::string installDir = root / "install";
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", root / "registry"};
    std::string cert = root / "cert.pem";

    Secure() {
        qmtest::Run("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=allowed.test "
                    "-addext subjectAltName=DNS:allowed.test,DNS:denied.test,IP:127.0.0.1 "
                    "-keyout " +
                        root / "key.pem" + " -out " + cert + " 2>/dev/null",
                    false);
    }
    void Install() {
        std::filesystem::create_directories(root / "registry");
        qmtest::MakeLogFolder(installDir);
        qmtest::WriteProviderSettings(installDir, 2);
        ASSERT_TRUE(qmtest::InstallLayerOverInternet());
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
    EXPECT_EQ(Sites(service),
              (std::vector<std::string>{"https://allowed.test/", "https://denied.test/"}));
}

TEST_F(Secure, WithoutTheServiceASecureSiteIsBlocked) {
    TlsServer server(root);
    Install();
    qmtest::RunResult run = qmtest::Run(Curl("allowed.test", server.port()));
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(server.Connection(1), "nothing");
    EXPECT_TRUE(qmtest::LogHas(installDir, "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"));
}

TEST_F(Secure, DatagramsToPort443AreRefusedAndOthersGoOut) {
    qmtest::ChannelServer service(DenyOne(""));
    Install();
    qmtest::RunResult run = qmtest::Run(
        "python3 -c \"\nimport socket\n"
        "dns=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); dns.bind(('127.0.0.1',53))\n"
        "u=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
        "u.sendto(b'query',('127.0.0.1',53)); print('53', dns.recvfrom(100)[0].decode())\n"
        "for how in ('sendto','connected'):\n"
        "  try:\n"
        "    u.sendto(b'quic',('127.0.0.1',443)) if how=='sendto' else "
        "(u.connect(('127.0.0.1',443)), u.send(b'quic'))\n"
        "    print('443 sent')\n"
        "  except OSError as e: print('443', how, e.errno)\n\" 2>&1");
    EXPECT_EQ(run.output, "53 query\n443 sendto 13\n443 connected 13\n");
}

} // namespace
