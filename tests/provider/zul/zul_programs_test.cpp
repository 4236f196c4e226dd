// Unmodified programs under the socket host with the provider installed, against
// a stand-in for the filter service's channel: allowed pages arrive intact, a
// denied site is answered by the redirect and nothing after it, pop-up calls
// are disarmed in every receive of a large answer, a refused
// program cannot connect, and without the service every GET is redirected and
// every connect allowed.

#include "tests/platform/sockhost/http_server.h"
#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/provider/started_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string kPage = "<html>window.open('x') and the rest of the page</html>\n";

std::string Redirect(const std::string& url) {
    return "HTTP/1.1 302 Found\nLocation: http://127.0.0.1:4180/?site=" + url + "/\n\n";
}

// One client program: the shell command that fetches a path from the port.
// Every client prints what it received: the whole answer (head and body), or
// for http.client the status, the Location header and the body.
struct Client {
    std::string name;
    std::string (*command)(const std::string& port, const std::string& path);
};

std::string Python(const std::string& code) {
    return "python3 -c \"" + code + "\" 2>&1";
}
// The request the hand-written clients send, with its line ends escaped as
// printf and a python byte string both read them.
std::string Request(const std::string& port, const std::string& path) {
    return "GET " + path + " HTTP/1.0\\r\\nHost: 127.0.0.1:" + port + "\\r\\n\\r\\n";
}
std::string Curl(const std::string& port, const std::string& path) {
    return "curl -sS -i http://127.0.0.1:" + port + path + " 2>&1";
}
std::string Wget(const std::string& port, const std::string& path) {
    return "wget -t 1 -S -O - --max-redirect=0 http://127.0.0.1:" + port + path + " 2>&1";
}
std::string HttpClient(const std::string& port, const std::string& path) {
    return Python("import http.client as h; c=h.HTTPConnection('127.0.0.1'," + port +
                  "); c.request('GET','" + path +
                  "'); r=c.getresponse(); print(r.status, r.getheader('Location')); "
                  "print(r.read().decode(),end='')");
}
std::string Nc(const std::string& port, const std::string& path) {
    return "printf '" + Request(port, path) + "' | nc -q 1 127.0.0.1 " + port;
}
// python starts curl with fork and exec.
std::string Subprocess(const std::string& port, const std::string& path) {
    return Python("import subprocess,sys; r=subprocess.run(['curl','-sS','-i','http://127.0.0.1:" +
                  port + path +
                  "'],capture_output=True); sys.stdout.write(r.stdout.decode()); "
                  "sys.exit(r.returncode)");
}
// python's epoll selector, non-blocking socket.
std::string Epoll(const std::string& port, const std::string& path) {
    return Python("import socket,selectors,sys; s=socket.create_connection(('127.0.0.1'," + port +
                  ")); s.setblocking(False); s.send(b'" + Request(port, path) +
                  "'); sel=selectors.EpollSelector(); "
                  "sel.register(s,selectors.EVENT_READ); d=b''\n"
                  "while True:\n sel.select(5); b=s.recv(65536)\n if not b: break\n d+=b\n"
                  "sys.stdout.write(d.decode())");
}

// TCP fast open: the connect and the request in one send-to.
std::string FastOpen(const std::string& port, const std::string& path) {
    return Python("import socket,sys; s=socket.socket(); s.sendto(b'" + Request(port, path) +
                  "', socket.MSG_FASTOPEN, ('127.0.0.1'," + port +
                  ")); d=b''\n"
                  "while True:\n b=s.recv(65536)\n if not b: break\n d+=b\n"
                  "sys.stdout.write(d.decode())");
}

const std::vector<Client> kClients = {{"curl", Curl},
                                      {"wget", Wget},
                                      {"http.client", HttpClient},
                                      {"nc", Nc},
                                      {"subprocess", Subprocess},
                                      {"epoll", Epoll},
                                      {"fast open", FastOpen}};

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
    static qmtest::RunResult Fetch(const Client& client, unsigned short port,
                                   const std::string& path) {
        return qmtest::Run(client.command(std::to_string(port), path));
    }
    static std::string Lower(unsigned short port, const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    static std::size_t SiteQuestions(qmtest::ChannelServer& service) {
        std::size_t sites = 0;
        for (const auto& request : service.Requests()) {
            sites += request.second.starts_with("http://") ? 1 : 0;
        }
        return sites;
    }
};

TEST_F(Programs, AllowedSiteArrivesIntactInEveryProgram) {
    qmtest::ChannelServer service(qmtest::FixedReplies("NN", "AB:N"));
    qmtest::HttpServer web(int(kClients.size()), kPage);
    Install();
    for (const Client& client : kClients) {
        qmtest::RunResult run = Fetch(client, web.port(), "/" + client.name);
        EXPECT_NE(run.output.find(kPage), std::string::npos) << client.name << ": " << run.output;
        EXPECT_EQ(run.output.find(kPage), run.output.rfind(kPage)) << client.name;
        EXPECT_EQ(run.status, 0) << client.name;
    }
    EXPECT_EQ(web.requests().size(), kClients.size());
    EXPECT_EQ(SiteQuestions(service), kClients.size());
}

// Every receive of an answer is scanned: pop-up calls at the start, deep in a
// large answer and at its very end are all disarmed. The program receives in
// whole 4096-byte pieces (MSG_WAITALL), and no call lies across two of them.
TEST_F(Programs, PopUpCallsDeepInALargeAnswerAreDisarmed) {
    qmtest::ChannelServer service(qmtest::FixedReplies("NY", "AB:N"));
    constexpr std::size_t kPiece = 4096;
    std::string page(std::size_t(1) << 20, 'b');
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                       std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n";
    std::vector<std::size_t> calls{0, 200 * kPiece + 100 - head.size(), page.size() - 12};
    for (std::size_t at : calls) {
        std::size_t first = head.size() + at;
        ASSERT_EQ(first / kPiece, (first + 11) / kPiece) << at;
        page.replace(at, 12, at % 2 ? "wInDoW.oPeN(" : "Window.Open(");
    }
    qmtest::HttpServer web(1, page);
    Install();
    qmtest::RunResult run = qmtest::Run(Python(
        "import socket,sys; s=socket.create_connection(('127.0.0.1'," + std::to_string(web.port()) +
        ")); s.send(b'GET /large HTTP/1.0\\r\\nHost: 127.0.0.1\\r\\n\\r\\n'); d=b''\n"
        "while True:\n b=s.recv(4096,socket.MSG_WAITALL)\n if not b: break\n d+=b\n"
        "print(len(d), d.count(b'POPBLOKR = ('), d.lower().count(b'window.open'))"));
    EXPECT_EQ(run.output, std::to_string(head.size() + page.size()) + " 3 0\n");
    EXPECT_EQ(SiteQuestions(service), 1u);
}

TEST_F(Programs, DeniedSiteIsRedirectedAndNothingAfterIt) {
    qmtest::ChannelServer service(qmtest::FixedReplies("YN", "AB:N"));
    qmtest::HttpServer web(int(kClients.size()), kPage);
    Install();
    std::string location = "http://127.0.0.1:4180/?site=" + Lower(web.port(), "/denied") + "/";
    for (const Client& client : kClients) {
        qmtest::RunResult run = Fetch(client, web.port(), "/Denied");
        if (client.name == "http.client") {
            EXPECT_EQ(run.output, "302 " + location + "\n");
        } else if (client.name == "wget") { // wget peeks at the answer before it reads it
            EXPECT_NE(run.output.find("302 Found"), std::string::npos) << run.output;
            EXPECT_NE(run.output.find("Location: " + location), std::string::npos);
        } else {
            EXPECT_EQ(run.output, Redirect(Lower(web.port(), "/denied"))) << client.name;
        }
        EXPECT_EQ(run.output.find("rest of the page"), std::string::npos) << client.name;
    }
    EXPECT_EQ(web.requests().size(), kClients.size()); // the request itself went out
}

TEST_F(Programs, TheRedirectNamesTheBlockPageOfTheMachineSettings) {
    qmtest::ChannelServer service(qmtest::FixedReplies("YN", "AB:N"));
    qmtest::HttpServer web(1, kPage);
    Install();
    const std::string page = "http://filter.home.test:8081/";
    qmtest::SetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellmark\\Settings", "BlockPage",
                             REG_SZ, page.c_str(), DWORD(page.size() + 1));
    qmtest::RunResult run = Fetch(kClients[0], web.port(), "/page");
    EXPECT_EQ(run.output, "HTTP/1.1 302 Found\nLocation: " + page +
                              "?site=" + Lower(web.port(), "/page") + "/\n\n");
}

TEST_F(Programs, RefusedProgramCannotConnect) {
    qmtest::ChannelServer service(qmtest::FixedReplies("NN", "AB:Y"));
    qmtest::HttpServer web(1, kPage);
    Install();
    std::string question = "AB:" + std::to_string(web.port()) + ",";
    for (const Client& client : kClients) {
        qmtest::RunResult run = Fetch(client, web.port(), "/refused");
        EXPECT_NE(run.status, 0) << client.name << ": " << run.output;
        EXPECT_EQ(run.output.find("rest of the page"), std::string::npos) << client.name;
    }
    bool curlAsked = false;
    std::size_t programQuestions = 0;
    for (const auto& request : service.Requests()) {
        curlAsked = curlAsked || request.second == question + "curl";
        programQuestions += request.second.starts_with(question) ? 1 : 0;
    }
    EXPECT_TRUE(curlAsked);
    EXPECT_GE(programQuestions, kClients.size());
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
    qmtest::HttpServer web(int(kClients.size()), kPage);
    Install();
    std::string location = "http://127.0.0.1:4180/?site=" + Lower(web.port(), "/page") + "/";
    for (const Client& client : kClients) {
        qmtest::RunResult run = Fetch(client, web.port(), "/page");
        EXPECT_NE(run.output.find(location), std::string::npos)
            << client.name << ": " << run.output;
        EXPECT_EQ(run.output.find("rest of the page"), std::string::npos) << client.name;
    }
    EXPECT_EQ(web.requests().size(), kClients.size()); // the connects and the requests went through
    EXPECT_TRUE(qmtest::LogHas(installDir, "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"));
}

// A socket connected before fork() and then used by the child is inspected in
// the child as it would be in the parent: the denied page is redirected.
TEST_F(Programs, AForkedChildsInheritedSocketIsInspected) {
    qmtest::ChannelServer service(qmtest::FixedReplies("YN", "AB:N"));
    qmtest::HttpServer web(1, kPage);
    Install();
    std::string port = std::to_string(web.port());
    qmtest::RunResult run =
        qmtest::Run(Python("import os,socket,sys; s=socket.create_connection(('127.0.0.1'," + port +
                           ")); pid=os.fork()\n"
                           "if pid == 0:\n"
                           " s.sendall(b'" +
                           Request(port, "/inherited") +
                           "'); d=b''\n"
                           " while True:\n  b=s.recv(65536)\n  if not b: break\n  d+=b\n"
                           " sys.stdout.write(d.decode()); sys.stdout.flush(); os._exit(0)\n"
                           "os.waitpid(pid,0)"));
    EXPECT_EQ(run.output, Redirect(Lower(web.port(), "/inherited")));
    EXPECT_EQ(SiteQuestions(service), 1u);
}

// The service started by a filtered program holds none of that program's
// descriptors: a command substitution around the program ends at once, while
// the service goes on running.
TEST_F(Programs, AServiceStartedFromACommandSubstitutionLetsItEnd) {
    qmtest::HttpServer web(1, kPage);
    Install();
    std::string standIn = root / "service.py";
    std::ofstream(standIn) << "import os,socket,threading\n"
                              "u=socket.socket(socket.AF_UNIX); "
                              "u.bind('\\0VRA_Class.%d' % os.geteuid()); u.listen(16)\n"
                              "t=socket.socket(); t.setsockopt(socket.SOL_SOCKET,socket.SO_"
                              "REUSEADDR,1); t.bind(('127.0.0.1',4100)); t.listen(16)\n"
                              "def serve(c):\n"
                              " while True:\n"
                              "  d=c.recv(1024)\n"
                              "  if not d: return\n"
                              "  c.send(b'AB:N' if d.startswith(b'AB:') else b'NN')\n"
                              "def accept(l, answer):\n"
                              " while True:\n"
                              "  c=l.accept()[0]\n"
                              "  if answer: threading.Thread(target=serve,args=(c,),daemon="
                              "True).start()\n"
                              "  else: c.close()\n"
                              "threading.Thread(target=accept,args=(u,False),daemon=True)."
                              "start()\n"
                              "accept(t, True)\n";
    qmtest::StartedProgram service(installDir, "python3 '" + standIn + "'");
    auto start = std::chrono::steady_clock::now();
    qmtest::RunResult run = qmtest::Run(
        "timeout 60 sh -c 'out=$(curl -sS http://127.0.0.1:" + std::to_string(web.port()) +
        "/page 2>&1); echo \"[$out]\"' 2>&1");
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.output, "[" + kPage.substr(0, kPage.size() - 1) + "]\n");
    EXPECT_LT(seconds, 30.0); // the provider waits at most 5 s for the service to show
    ASSERT_GT(service.Pid(), 0);
    EXPECT_TRUE(qmtest::StartedProgram::Alive(service.Pid()));
}

// Requests that once slipped past: other methods, bare line feeds, a request
// line split over two sends. Each is asked about and redirected.
TEST_F(Programs, EveryMethodSplitOrBareLineFeedRequestToADeniedSiteIsRedirected) {
    qmtest::HttpServer web(6, kPage);
    std::string denied = Lower(web.port(), "/denied");
    qmtest::ChannelServer service([denied](const std::string& request) {
        std::string reply = request.starts_with("AB:") ? "AB:N" : request == denied ? "YN" : "NN";
        return qmtest::ChannelAction{qmtest::ChannelAction::Reply, reply};
    });
    Install();
    std::string port = std::to_string(web.port());
    std::string host = "Host: 127.0.0.1:" + port;
    std::vector<std::pair<std::string, std::string>> commands = {
        {"POST", "curl -sS -i -d x http://127.0.0.1:" + port + "/Denied 2>&1"},
        {"HEAD", "curl -sS -I http://127.0.0.1:" + port + "/Denied 2>&1"},
        {"PUT", Python("import http.client as h; c=h.HTTPConnection('127.0.0.1'," + port +
                       "); c.request('PUT','/Denied',body='x'); r=c.getresponse(); "
                       "print(r.status, r.getheader('Location'))")},
        {"bare line feeds",
         "printf 'GET /Denied HTTP/1.0\\n" + host + "\\n\\n' | nc -q 1 127.0.0.1 " + port},
        {"split request line", "(printf 'GE'; sleep 0.3; printf 'T /Denied HTTP/1.0\\r\\n" + host +
                                   "\\r\\n\\r\\n') | nc -q 1 127.0.0.1 " + port},
    };
    std::string location = "http://127.0.0.1:4180/?site=" + denied + "/";
    for (const auto& [name, command] : commands) {
        qmtest::RunResult run = qmtest::Run(command);
        EXPECT_NE(run.output.find(location), std::string::npos) << name << ": " << run.output;
        EXPECT_EQ(run.output.find("rest of the page"), std::string::npos) << name;
    }
    EXPECT_EQ(SiteQuestions(service), commands.size());
    // The same requests to an allowed path still load.
    qmtest::RunResult allowed =
        qmtest::Run("curl -sS -d x http://127.0.0.1:" + port + "/allowed 2>&1");
    EXPECT_EQ(allowed.output, kPage);
}

} // namespace
