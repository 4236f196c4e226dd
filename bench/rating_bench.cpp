// Site decisions per second through the real filter service with a member
// logged in: addresses that each need the rating service (one round trip to
// the rating stand-in per question) beside addresses settled by the member's
// local lists (the fixed allow entries), measured in the same run.

#include "platform/registry.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"
#include "tests/support/server_process.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

constexpr auto kRunTime = std::chrono::seconds(2);

void SetValue(HKEY root, const char* path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(key);
}

// Decisions per second for one client asking in a loop; `vary` makes every
// address a different host.
double DecisionsPerSecond(const std::string& host, bool vary) {
    qmtest::ChannelClient client;
    long answered = 0;
    auto start = std::chrono::steady_clock::now();
    auto end = start + kRunTime;
    while (std::chrono::steady_clock::now() < end) {
        std::string address =
            "http://" + (vary ? "s" + std::to_string(answered) + "." : "") + host + "/index.html";
        if (client.Ask(address, 2).size() != 2) {
            std::fprintf(stderr, "no answer from the filter service\n");
            return 0;
        }
        ++answered;
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return double(answered) / took.count();
}

} // namespace

int main() {
    qmtest::Installation installation;
    installation.WriteSettings(0);
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", installation.RegistryDir());
    qmtest::TestCertificate certificate;
    std::uint16_t accountPort = qmtest::FreePort();
    std::uint16_t ratingPort = qmtest::FreePort();
    std::string dir = installation.RegistryDir();
    std::ofstream(dir + "/members.txt")
        << "member anna\npassword secret\ncatmask 001\nagencyserver 127.0.0.1\nagencyport "
        << ratingPort << "\nlocaloverridesver 0\npopupblocker Y\n";
    std::ofstream(dir + "/ratings.txt") << "*.rated.test 4\n";
    qmtest::ServerProcess account("account-server", accountPort,
                                  {"--cert", certificate.CertFile(), "--key", certificate.KeyFile(),
                                   "--members", dir + "/members.txt"});
    qmtest::ServerProcess rating("rating-server", ratingPort, {"--ratings", dir + "/ratings.txt"});
    const char* settings = "Software\\Quellmark\\Settings";
    SetValue(HKEY_LOCAL_MACHINE, settings, "AccountServer",
             "localhost:" + std::to_string(accountPort));
    SetValue(HKEY_LOCAL_MACHINE, settings, "AccountServerCAFile", certificate.CertFile());
    SetValue(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles", "", "anna~secret");
    qmtest::KovariProcess service(installation);
    if (!account.Ready() || !rating.Ready() || !service.WaitUntilListening()) {
        std::fprintf(stderr, "the services did not start\n");
        return 1;
    }
    qmtest::ChannelClient(4100).Ask("http://login.rated.test/", 2, 30000); // logs in, connects
    double local = DecisionsPerSecond("www.tellwyn.com", false);
    double rated = DecisionsPerSecond("rated.test", true);
    std::printf("%-34s %12s\n", "decisions", "per second");
    std::printf("%-34s %12.0f\n", "settled by the local lists", local);
    std::printf("%-34s %12.0f\n", "rated by the rating service", rated);
    std::printf("%-34s %12.2f\n", "ratio rated / local", local > 0 ? rated / local : 0.0);
    return 0;
}
