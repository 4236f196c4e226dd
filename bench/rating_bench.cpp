// Site decisions per second through the real filter service with a member
// logged in: addresses that each need the rating service (one round trip to
// the rating stand-in per question) beside addresses settled by the member's
// local lists (the member's allow list), measured in the same run.

#include "tests/support/channel_client.h"
#include "tests/support/family_service.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr auto kRunTime = std::chrono::seconds(2);

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

int Run() {
    qmtest::FamilyService service(0);
    if (!service.Start()) {
        return 1;
    }
    double local = DecisionsPerSecond("www.allowed.test", false);
    double rated = DecisionsPerSecond("blocked.test", true);
    std::printf("%-34s %12s\n", "decisions", "per second");
    std::printf("%-34s %12.0f\n", "settled by the local lists", local);
    std::printf("%-34s %12.0f\n", "rated by the rating service", rated);
    std::printf("%-34s %12.2f\n", "ratio rated / local", local > 0 ? rated / local : 0.0);
    return 0;
}

} // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rating_bench: %s\n", error.what());
        return 1;
    }
}
