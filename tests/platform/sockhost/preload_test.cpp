// Unmodified programs under the socket host with the base provider alone: their
// sockets are made through the catalog and their pages arrive intact.

#include "platform/catalog.h"
#include "tests/platform/sockhost/http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

class Preload : public ::testing::Test {
  protected:
    qmtest::TempDir dir;
    qmtest::ScopedEnv registry{"QUELLMARK_REGISTRY_DIR", dir.path()};
    const std::string page = "the page of the test server\n";
};

TEST_F(Preload, CurlWgetPythonAndNcGetThePage) {
    qmtest::HttpServer server(5, page);
    std::string url = server.url("/index.html");
    EXPECT_EQ(qmtest::Run("curl -sS " + url).output, page);
    EXPECT_EQ(qmtest::Run("wget -q -O - " + url).output, page);
    EXPECT_EQ(qmtest::Run("python3 -c \"import http.client as h; c=h.HTTPConnection('127.0.0.1'," +
                          std::to_string(server.port()) +
                          "); c.request('GET','/index.html'); "
                          "print(c.getresponse().read().decode(),end='')\"")
                  .output,
              page);
    qmtest::RunResult nc = qmtest::Run("printf 'GET /index.html HTTP/1.0\\r\\n\\r\\n' | nc -q 1 "
                                       "127.0.0.1 " +
                                       std::to_string(server.port()));
    EXPECT_NE(nc.output.find("\r\n\r\n" + page), std::string::npos) << nc.output;
    qmtest::RunResult sub =
        qmtest::Run("python3 -c \"import subprocess,sys; "
                    "r=subprocess.run(['curl','-sS','" +
                    url + "'],capture_output=True); sys.stdout.write(r.stdout.decode())\"");
    EXPECT_EQ(sub.output, page);
    EXPECT_EQ(server.requests().size(), 5u);
}

// A catalog whose first TCP entry names a library that does not exist: the
// program's socket cannot be made, which shows that it goes through the catalog.
TEST_F(Preload, SocketsGoThroughTheCatalog) {
    qmtest::HttpServer server(1, page); // this process keeps the catalog it has read
    WSAPROTOCOL_INFOW entry{};
    DWORD size = 0;
    int error = 0;
    ASSERT_EQ(WSCEnumProtocols(nullptr, nullptr, &size, &error), SOCKET_ERROR);
    std::vector<WSAPROTOCOL_INFOW> entries(size / sizeof(WSAPROTOCOL_INFOW));
    ASSERT_GT(WSCEnumProtocols(nullptr, entries.data(), &size, &error), 0);
    entry = entries[0]; // "MSAFD Tcpip [TCP/IP]"
    ASSERT_EQ(entry.iSocketType, SOCK_STREAM_W);
    GUID id{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    entry.ProviderId = id;
    ASSERT_EQ(WSCInstallProvider(&id, u"libabsent-provider.so", &entry, 1, &error), 0);
    ASSERT_EQ(WSCEnumProtocols(nullptr, nullptr, &size, &error), SOCKET_ERROR);
    entries.resize(size / sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, entries.data(), &size, &error);
    std::vector<DWORD> order{entries[count - 1].dwCatalogEntryId};
    for (int i = 0; i < count - 1; ++i) {
        order.push_back(entries[i].dwCatalogEntryId);
    }
    ASSERT_EQ(WSCWriteProviderOrder(order.data(), DWORD(order.size())), 0);

    qmtest::RunResult curl = qmtest::Run("curl -sS " + server.url() + " 2>/dev/null");
    EXPECT_NE(curl.status, 0);
    EXPECT_EQ(curl.output, "");
    // Without the host the same program reaches the server.
    EXPECT_EQ(qmtest::Run("curl -sS " + server.url(), false).output, page);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#if defined(__SANITIZE_ADDRESS__)
const char* const kFaultReport = "heap-use-after-free";
#else
const char* const kFaultReport = "data race";
#endif

// A library with a deliberate fault, preloaded beside the host into a real
// program: the sanitizer's report from inside that program fails the test.
TEST(SanitizerInsidePrograms, AReportFromInsideARealProgramFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(qmtest::Run("LD_PRELOAD=$LD_PRELOAD:" + qmtest::BinDir() +
                                        "/libsanitizer_fault.so /bin/true"),
                            kFaultReport);
}

TEST(SanitizerInsidePrograms, AProgramWithoutAFaultRunsCleanUnderTheHost) {
    qmtest::RunResult run = qmtest::Run("curl --version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("curl ", 0), 0u) << run.output;
}
#endif

} // namespace
