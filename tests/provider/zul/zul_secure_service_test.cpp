// Secure sites decided by the real filter service for the logged-in member:
// curl under the socket host against a local TLS server. A site on her allow
// list loads; one on the family's deny list and one the rating service puts in
// a blocked category fail, and the server never sees a byte of their
// ClientHello.

#include "tests/provider/zul/tls_test_server.h"
#include "tests/support/family_service.h"
#include "tests/support/zul_install.h"

#include <gtest/gtest.h>

namespace {

TEST(SecureWithTheService, TheMembersListsAndRatingsDecideSecureSites) {
    qmtest::FamilyService family(2);
    ASSERT_TRUE(qmtest::InstallLayerOverInternet());
    ASSERT_TRUE(family.Start());
    qmtest::TempDir keys;
    ASSERT_TRUE(qmtest::MakeTestCertificate(keys));
    qmtest::TlsServer server(keys);
    ASSERT_FALSE(server.port().empty());
    auto curl = [&](const std::string& host) {
        return qmtest::Run("curl -sS -m 10 --cacert " + keys / "cert.pem" + " --resolve " + host +
                           ":" + server.port() + ":127.0.0.1 https://" + host + ":" +
                           server.port() + "/ 2>&1");
    };
    qmtest::RunResult allowed = curl("www.allowed.test");
    EXPECT_EQ(allowed.output, "secure page\n");
    EXPECT_EQ(server.Connection(1), "hello www.allowed.test");
    qmtest::RunResult denied = curl("www.denied.test");
    EXPECT_NE(denied.status, 0);
    EXPECT_NE(denied.output.find("reset"), std::string::npos) << denied.output;
    EXPECT_EQ(server.Connection(2), "nothing");
    qmtest::RunResult blocked = curl("www.blocked.test");
    EXPECT_NE(blocked.status, 0);
    EXPECT_EQ(server.Connection(3), "nothing");
}

} // namespace
