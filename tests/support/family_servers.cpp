#include "tests/support/family_servers.h"

#include "tests/support/channel_client.h"
#include "tests/support/member_settings.h"

#include <cstdio>
#include <fstream>

namespace qmtest {
namespace {

std::string MembersText(std::uint16_t ratingPort) {
    std::string rating = "agencyserver 127.0.0.1\nagencyport " + std::to_string(ratingPort) + "\n";
    return "member anna\npassword secret\ncatmask 001\n" + rating +
           "localoverridesver 1\nlocaloverrides Y\npopupblocker Y\n"
           "prefs [SOALLOWS]\nprefs anna,*.allowed.test\nprefs\n"
           "prefs [SODENIES]\nprefs anna,*.denied.test\nprefs\n"
           "member ben\npassword pw\ncatmask 1\n" +
           rating + "localoverridesver 0\npopupblocker N\n";
}

} // namespace

FamilyServers::FamilyServers(const std::string& folder) : ratingPort_(FreePort()) {
    std::ofstream(folder + "/members.txt") << MembersText(ratingPort_);
    std::ofstream(folder + "/rating-members.txt") << "anna secret\nben pw\n";
    std::ofstream(folder + "/ratings.txt") << "*.blocked.test 4\n";
    account_ = std::make_unique<ServerProcess>(
        "account-server", FreePort(),
        std::vector<std::string>{"--cert", certificate_.CertFile(), "--key", certificate_.KeyFile(),
                                 "--members", folder + "/members.txt"});
    rating_ = std::make_unique<ServerProcess>(
        "rating-server", ratingPort_,
        std::vector<std::string>{"--ratings", folder + "/ratings.txt", "--members",
                                 folder + "/rating-members.txt"});
    SetMachineSetting("AccountServer", "localhost:" + std::to_string(account_->Port()));
    SetMachineSetting("AccountServerCAFile", certificate_.CertFile());
    RememberMember("anna~secret");
}

bool LogInRememberedMember() {
    ChannelClient client;
    // The first rated question waits for the log-in and the connection.
    std::string first = client.Ask("http://www.blocked.test/", 2, 30000);
    struct Check {
        const char* address;
        const char* answer;
    };
    for (Check check : {Check{"http://www.blocked.test/", "YY"},
                        {"http://www.good.test/", "NY"},
                        {"http://www.allowed.test/", "NY"},
                        {"http://www.denied.test/", "YY"}}) {
        std::string answer = client.Ask(check.address, 2);
        if (answer != check.answer) {
            std::fprintf(stderr, "%s: \"%s\", expected \"%s\" (first answer \"%s\")\n",
                         check.address, answer.c_str(), check.answer, first.c_str());
            return false;
        }
    }
    return true;
}

} // namespace qmtest
