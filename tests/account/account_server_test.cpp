// Log-in requests over real HTTPS against the account server stand-in.

#include "account/account_server.h"
#include "account/answer_field.h"
#include "account/saved_profiles.h"
#include "tests/account/account_fixture.h"

namespace {

using AccountServer = qmtest::AccountFixture;

const char kVerifyText[] = "KOVARI|Could not verify server credentials.  Please try logging in "
                           "again.\nIf this error persists please contact Technical Support.";

TEST_F(AccountServer, LoginAcceptedWithTheMembersProfile) {
    std::string answer;
    EXPECT_TRUE(PostLogin("anna", "secret", answer));
    EXPECT_EQ(GetAnswerField(answer, "|user|"), "anna");
    EXPECT_EQ(GetAnswerField(answer, "|catmask|"), "001");
    EXPECT_EQ(answer.back(), '\n');
    EXPECT_TRUE(Boxes().empty());
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(
        requests[0].rfind("/2_6/commando.php?command=login\tuser=anna&password=secret&sid=", 0),
        0u);
}

TEST_F(AccountServer, WrongPasswordIsRefusedWithTheServersText) {
    std::string answer;
    EXPECT_FALSE(PostLogin("anna", "wrong", answer));
    EXPECT_EQ(GetAnswerField(answer, "|response|"), "-Invalid user name or password");
    EXPECT_TRUE(Boxes().empty()); // the proof was right: no verification box
}

TEST_F(AccountServer, UpperCaseOrWrongProofIsRejectedWithTheVerificationBox) {
    for (const char* member : {"upper-sid", "bad-sid"}) {
        std::string answer;
        EXPECT_FALSE(PostLogin(member, "pw", answer)) << member;
    }
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kVerifyText, kVerifyText}));
}

TEST_F(AccountServer, CorrectProofWithoutResponseCountsAsAccepted) {
    std::string answer;
    EXPECT_TRUE(PostLogin("no-response", "pw", answer));
}

TEST_F(AccountServer, UnknownCertificateAuthorityIsRefused) {
    qmtest::TestCertificate stranger;
    qmtest::SetMachineSetting("AccountServerCAFile", stranger.CertFile());
    std::string answer;
    EXPECT_FALSE(PostLogin("anna", "secret", answer));
    EXPECT_EQ(answer, "");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u); // the transfer error, then the verification message
    EXPECT_NE(boxes[0].find("certificate"), std::string::npos) << boxes[0];
    EXPECT_EQ(boxes[1], kVerifyText);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(AccountServer, PasswordWithAmpersandIsSentAsTyped) {
    std::string answer;
    PostLogin("a&b", "x&y", answer);
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("\tuser=a&b&password=x&y&sid="), std::string::npos);
}

TEST_F(AccountServer, HostileAnswersGiveTheDocumentedResult) {
    std::string answer;
    EXPECT_TRUE(PostLogin("huge", "pw", answer)); // 1 MiB before the fields: still read
    EXPECT_GT(answer.size(), std::size_t(1 << 20));
    EXPECT_TRUE(PostLogin("binary", "pw", answer));
    EXPECT_FALSE(PostLogin("no-br", "pw", answer)); // no field can be read
    EXPECT_FALSE(PostLogin("no-fields", "pw", answer));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kVerifyText, kVerifyText}));
}

TEST_F(AccountServer, UnreachableServerShowsTheTransferError) {
    qmtest::SetMachineSetting("AccountServer", "localhost:" + std::to_string(qmtest::FreePort()));
    std::string answer;
    EXPECT_FALSE(PostLogin("anna", "secret", answer));
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].rfind("KOVARI|", 0), 0u);
    EXPECT_EQ(boxes[1], kVerifyText);
}

TEST(Challenge, NumbersLieInRangeAndRepeatWithinOneSecond) {
    CAccountServer server;
    int first = server.NewChallenge();
    int second = server.NewChallenge();
    EXPECT_GE(first, 10000);
    EXPECT_LE(first, 19998);
    if (first != second) { // the second may have crossed into the next second
        EXPECT_EQ(server.NewChallenge(), server.NewChallenge());
    }
}

TEST(RequestBody, NameAndPasswordAreNotEncoded) {
    EXPECT_EQ(AccountRequestBody("a b", "p&q=", 12345), "user=a b&password=p&q=&sid=12345");
}

} // namespace
