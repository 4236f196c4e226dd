// Site decisions through the real KOVARI channel, with the member logged in
// against the account server stand-in and rated by the rating stand-in.

#include "account/user_prefs.h"
#include "tests/account/account_fixture.h"
#include "tests/platform/sockhost/http_server.h"
#include "tests/support/channel_client.h"
#include "tests/support/under_host.h"
#include "tests/support/zul_install.h"

#include <chrono>
#include <thread>

namespace {

class RatingProcess : public qmtest::AccountFixture {
  protected:
    std::string MembersText() const override {
        return "member anna\npassword secret\ncatmask 001\nagencyserver 127.0.0.1\nagencyport " +
               std::to_string(ratingPort) +
               "\nlocaloverridesver 0\nlocaloverrides Y\npopupblocker Y\n"
               "member ben\npassword pw2\ncatmask 001\nagencyserver 127.0.0.1\nagencyport " +
               std::to_string(ratingPort) +
               "\nlocaloverridesver 0\npopupblocker Y\nloginmessage Homework "
               "first!\nloginmessagetime 7000\n";
    }
    void SetUp() override {
        AccountFixture::SetUp();
        std::ofstream(RatingFile()) << "*.bad.test 4\n*.letters.test abc\n*.one.test =+\n";
        std::ofstream(installation.RegistryDir() + "/rating-members.txt")
            << "anna secret\nben pw2\n";
        WritePrefs("[POPUPS]\n\n[SOALLOWS]\n*,allowed.test\n\n[SODENIES]\n*,denied.test\n\n");
        CUserPrefs().RecordIntegrity(0);
    }

    void StartRating(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{
            "--ratings", RatingFile(),
            "--members", installation.RegistryDir() + "/rating-members.txt",
            "--log",     RatingLog()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        rating = std::make_unique<qmtest::ServerProcess>("rating-server", ratingPort, arguments);
        ASSERT_TRUE(rating->Ready());
    }
    void StartKovari() {
        kovari = std::make_unique<qmtest::KovariProcess>(
            installation,
            std::map<std::string, std::string>{{"QUELLMARK_MSGBOX_RECORD", BoxFile()},
                                               {"QUELLMARK_DIALOG_ANSWER", "0"},
                                               {"QUELLMARK_NOTIFY_RECORD", NoticeFile()}});
        ASSERT_TRUE(kovari->WaitUntilListening());
    }
    std::string Ask(qmtest::ChannelClient& client, const std::string& address) {
        return client.Ask(address, 2, 20000);
    }
    // With a rating server that fails its second answer (closes instead, or
    // cuts it off): that address is blocked, and the next one is rated on a
    // new connection.
    void AskThroughAServerClose(qmtest::ChannelClient& client) {
        EXPECT_EQ(Ask(client, "http://www.bad.test/"), "YY");  // rated
        EXPECT_EQ(Ask(client, "http://www.good.test/"), "YY"); // no answer: blocked
        EXPECT_EQ(Ask(client, "http://www.good.test/"), "NY"); // rated on a new connection
    }
    std::vector<std::string> Lines(const std::string& file) const {
        std::vector<std::string> lines;
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    int Count(const std::vector<std::string>& lines, const std::string& text) const {
        int count = 0;
        for (const std::string& line : lines) {
            count += line.find(text) != std::string::npos;
        }
        return count;
    }
    std::string RatingFile() const { return installation.RegistryDir() + "/ratings.txt"; }
    std::string RatingLog() const { return installation.RegistryDir() + "/rating.log"; }
    std::string BoxFile() const { return installation.RegistryDir() + "/boxes.txt"; }
    std::string NoticeFile() const { return installation.RegistryDir() + "/notices.txt"; }
    // The notices shown so far, once at least count of them have been (the
    // service shows them after it has answered), or after 10 s.
    std::vector<std::string> Notices(std::size_t count) const {
        for (int i = 0; i < 1000 && Lines(NoticeFile()).size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Lines(NoticeFile());
    }
    static std::string LoggedIn(const std::string& user) {
        return "User <B>" + user + "</B><BR>has sucessfully logged in.|5000";
    }

    std::uint16_t ratingPort = qmtest::FreePort();
    std::unique_ptr<qmtest::ServerProcess> rating;
    std::unique_ptr<qmtest::KovariProcess> kovari;
};

TEST_F(RatingProcess, AddressesAreDecidedByTheRatingServiceAndTheMembersMask) {
    qmtest::RememberMember("anna~secret");
    StartRating();
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://www.bad.test/"), "YY");    // mask 4 meets the member's bit 2
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "NY");   // "+0"
    EXPECT_EQ(Ask(client, "http://x.letters.test/"), "NY");  // letters give mask 0
    EXPECT_EQ(Ask(client, "http://x.one.test/"), "NY");      // a status character alone
    EXPECT_EQ(Ask(client, "http://www.tellwyn.com/"), "NN"); // fixed entry: allowed, no pop-ups
    auto messages = Lines(RatingLog());
    ASSERT_GE(messages.size(), 6u);
    EXPECT_EQ(messages[0], "VRA 1.0:USER anna");
    EXPECT_EQ(messages[1], "VRA 1.0:PASS secret");
    EXPECT_EQ(messages[2], "VRA 1.0:http://www.bad.test/");
    EXPECT_EQ(Count(messages, "tellwyn"), 0);
    auto log = installation.LogLines();
    EXPECT_EQ(Count(log, "CAgencyComms::IsURLBlocked->Data From Agency - +4"), 1);
    EXPECT_EQ(Count(log, "secret"), 0); // the password is never logged
    EXPECT_TRUE(Lines(BoxFile()).empty());
    EXPECT_EQ(Notices(1), std::vector<std::string>{LoggedIn("anna")});
}

TEST_F(RatingProcess, SecureAddressesAreDecidedLikePlainOnes) {
    qmtest::RememberMember("anna~secret");
    StartRating();
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "https://denied.test/"), "YO");  // deny list, before any login
    EXPECT_EQ(Ask(client, "https://allowed.test/"), "NO"); // allow list
    EXPECT_EQ(Ask(client, "https://www.bad.test/"), "YY"); // rated: the member logs in
    EXPECT_EQ(Ask(client, "https://www.good.test/"), "NY");
    EXPECT_EQ(Ask(client, "https://www.tellwyn.com/"), "NN"); // fixed entry, pop-up allowed
    auto messages = Lines(RatingLog());
    EXPECT_EQ(Count(messages, "VRA 1.0:https://www.bad.test/"), 1); // as the channel got it
    EXPECT_EQ(Count(messages, "VRA 1.0:https://www.good.test/"), 1);
    EXPECT_EQ(Count(messages, "denied"), 0);
    EXPECT_EQ(Count(messages, "allowed"), 0);
}

TEST_F(RatingProcess, LocalListsComeFirstAndARefusedDialogBlocksAndReturns) {
    StartRating();
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://allowed.test/"), "NO"); // nobody logged in: no dialog
    EXPECT_EQ(Ask(client, "http://denied.test/"), "YO");
    EXPECT_TRUE(Lines(BoxFile()).empty());
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "YO"); // the dialog was cancelled
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "YO"); // and comes again
    EXPECT_EQ(Lines(BoxFile()),
              (std::vector<std::string>{"dialog\tCLoginDlg", "dialog\tCLoginDlg"}));
    EXPECT_TRUE(Lines(RatingLog()).empty());
}

TEST_F(RatingProcess, ACloseInsteadOfAnAnswerBlocksThenReconnects) {
    qmtest::RememberMember("anna~secret");
    StartRating({"--close-after", "1"});
    StartKovari();
    qmtest::ChannelClient client;
    AskThroughAServerClose(client);
    EXPECT_EQ(Count(Lines(RatingLog()), "VRA 1.0:USER anna"), 2);
    EXPECT_EQ(Count(installation.LogLines(),
                    "CAgencyComms::RecordSocketError - Connection reset by peer"),
              1);
    // A mere reconnection of the member is told again.
    EXPECT_EQ(Notices(2), (std::vector<std::string>{LoggedIn("anna"), LoggedIn("anna")}));
}

TEST_F(RatingProcess, AnAnswerCutOffByACloseBlocks) {
    qmtest::RememberMember("anna~secret");
    std::ofstream(RatingFile()) << "*.bad.test 4\n*.good.test =+00000000\n";
    StartRating({"--cut-after", "1"});
    StartKovari();
    qmtest::ChannelClient client;
    AskThroughAServerClose(client);
    EXPECT_EQ(Count(Lines(RatingLog()), "VRA 1.0:USER anna"), 2);
}

TEST_F(RatingProcess, AnOversizedAnswerIsNotReadAsTheNextAnswers) {
    qmtest::RememberMember("anna~secret");
    std::ofstream(RatingFile()) << "*.huge.test =+0" << std::string(1 << 20, '0') << "\n"
                                << "*.bad.test 4\n";
    StartRating();
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://www.huge.test/"), "YY"); // fills the buffer: blocked
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Ask(client, "http://www.bad.test/" + std::to_string(i)), "YY");
        EXPECT_EQ(Ask(client, "http://www.good.test/" + std::to_string(i)), "NY");
    }
    EXPECT_EQ(Count(Lines(RatingLog()), "VRA 1.0:USER anna"), 2);
    EXPECT_EQ(Count(installation.LogLines(), "CAgencyComms::RecordSocketError - Message too long"),
              1);
}

// A rating service that takes connections and never answers: the address
// waiting for it is blocked after RatingTimeout, while program questions and
// addresses the lists settle are answered meanwhile.
TEST_F(RatingProcess, ASilentRatingServiceHoldsUpNothingElseAndBlocksInTime) {
    qmtest::RememberMember("anna~secret");
    qmtest::SetMachineDword("RatingTimeout", 1500);
    StartRating({"--silent"});
    StartKovari();
    qmtest::ChannelClient waiting;
    ASSERT_TRUE(waiting.Send("http://www.good.test/"));
    qmtest::ChannelClient other;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(other.Ask(qmtest::ApplicationRequest("AB:80,curl"), 4), "AB:N");
        EXPECT_EQ(other.Ask("http://allowed.test/", 2).substr(0, 1), "N");
        EXPECT_EQ(other.Ask("http://denied.test/", 2).substr(0, 1), "Y");
    }
    EXPECT_EQ(waiting.ReceiveAny(0), ""); // still waiting for the rating service
    EXPECT_EQ(waiting.Receive(2, 20000), "YY");
    ASSERT_TRUE(waiting.Send("http://www.good.test/"));
    EXPECT_EQ(waiting.Receive(2, 20000), "YY"); // tried again, blocked again
    EXPECT_EQ(Count(installation.LogLines(),
                    "CAgencyComms::ConnectToAgency - Unable to initiate connection."),
              2);
}

// curl under the socket host with the provider: its own time limit holds,
// because the service answers (blocked) once the rating service has been
// silent for RatingTimeout, and the program question before the connect is
// answered at once.
TEST_F(RatingProcess, AFilteredProgramKeepsItsTimeLimitWhileTheRatingServiceIsSilent) {
    qmtest::RememberMember("anna~secret");
    qmtest::SetMachineDword("RatingTimeout", 2000);
    StartRating({"--silent"});
    StartKovari();
    ASSERT_TRUE(qmtest::InstallLayerOverInternet());
    qmtest::HttpServer web(1, "<html>the page</html>");
    qmtest::RunResult curl =
        qmtest::Run("curl -m 5 -sS -o /dev/null -w '%{http_code}' " + web.url("/page"));
    EXPECT_EQ(curl.status, 0);
    EXPECT_EQ(curl.output, "302"); // blocked, within curl's 5 seconds
}

TEST_F(RatingProcess, ASlowRatingAnswerTimesOutAndBlocks) {
    qmtest::RememberMember("anna~secret");
    qmtest::SetMachineDword("RatingTimeout", 1000);
    StartRating({"--delay-ms", "4000"});
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "YY");
    EXPECT_EQ(
        Count(installation.LogLines(), "CAgencyComms::RecordSocketError - Connection timed out"),
        1);
}

TEST_F(RatingProcess, TheProfilesLoginMessageIsShownOnceInsteadOfTheNotice) {
    qmtest::RememberMember("ben~pw2");
    StartRating({"--close-after", "1"});
    StartKovari();
    qmtest::ChannelClient client;
    AskThroughAServerClose(client);
    EXPECT_EQ(Count(Lines(RatingLog()), "VRA 1.0:USER ben"), 2);
    EXPECT_EQ(Notices(2), (std::vector<std::string>{"Homework first!|7000", LoggedIn("ben")}));
}

TEST_F(RatingProcess, RefusedRatingLoginBlocksAndIsTriedAgain) {
    qmtest::RememberMember("anna~secret");
    StartRating({"--refuse-login"});
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "YY");
    EXPECT_EQ(Ask(client, "http://www.good.test/"), "YY");
    EXPECT_EQ(Count(Lines(RatingLog()), "VRA 1.0:PASS secret"), 2);
    EXPECT_EQ(Count(installation.LogLines(), "CAgencyComms::Initialize - Error loggin into "
                                             "agency.  Error = -Login refused"),
              2);
}

TEST_F(RatingProcess, HostileRatingAnswersDecideSafelyAndTheServiceGoesOn) {
    qmtest::RememberMember("anna~secret");
    std::ofstream(RatingFile()) << "*.nul.test =+" << '\0' << "4\n"
                                << "*.huge.test =+99999999999999999999999\n"
                                << "*.long.test =+4" << std::string(3000, 'x') << "\n";
    StartRating();
    StartKovari();
    qmtest::ChannelClient client;
    EXPECT_EQ(Ask(client, "http://www.nul.test/"), "NY");  // cut at the NUL: no digits, mask 0
    EXPECT_EQ(Ask(client, "http://www.huge.test/"), "YY"); // the largest mask, bit 2 included
    EXPECT_EQ(Ask(client, "http://www.long.test/"), "YY"); // too long: blocked, reconnected
    EXPECT_EQ(Ask(client, "http://www.other.test/"), "NY");
    qmtest::ChannelClient another;
    EXPECT_EQ(Ask(another, "http://www.tellwyn.com/"), "NN");
    auto log = installation.LogLines();
    bool cutAtNul = false;
    for (const std::string& line : log) {
        cutAtNul = cutAtNul || line.ends_with("CAgencyComms::IsURLBlocked->Data From Agency - +");
    }
    EXPECT_TRUE(cutAtNul);
}

} // namespace
