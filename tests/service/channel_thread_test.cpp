// The channel's own thread, inside a service started in the test process: the
// member's lists answer while the user-interface thread dispatches nothing and
// swaps those lists, and a question for the rating service waits for that
// thread without holding up anybody else.

#include "account/agency_comms.h"
#include "account/user.h"
#include "service/app.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

namespace {

std::string Member(const std::string& name) {
    return "|user|" + name + "<BR>|password|pw<BR>|popupblocker|Y<BR>|localoverrides|Y<BR>" +
           "|agencyserver|127.0.0.1<BR>|agencyport|1<BR>";
}

TEST(ChannelThread, ListsAnswerWhileTheInterfaceThreadIsBusyAndRatedQuestionsWaitForIt) {
    qmtest::Installation installation;
    installation.WriteSettings(0);
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", installation.RegistryDir());
    // Both members allow kept and deny gone; only anna allows flip.
    std::ofstream(installation.InstallDir() + "/user.prefs")
        << "[POPUPS]\n\n[PORTS]\n\n[APPS]\n\n"
           "[SOALLOWS]\nanna,www.kept.test\nanna,www.flip.test\nbob,www.kept.test\n\n"
           "[SODENIES]\nanna,www.gone.test\nbob,www.gone.test\nbob,www.flip.test\n\n";
    CPCAppApp& app = *CPCAppApp::Current();
    ASSERT_TRUE(app.InitInstance());
    CUser& user = app.RatingClient()->User();
    user.Prefs().RecordIntegrity(-1);
    user.Create(Member("anna"));
    QApplication::processEvents(); // the channel is served from the first dispatch on

    qmtest::ChannelClient rated;
    ASSERT_TRUE(rated.Send("http://www.unlisted.test/")); // on no list: the rating service

    constexpr int kClients = 8;
    constexpr int kRounds = 100;
    std::atomic<int> finished{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            qmtest::ChannelClient client;
            for (int i = 0; i < kRounds && wrong == 0; ++i) {
                wrong += client.Ask("http://www.kept.test/", 2) != "NY";
                wrong += client.Ask("http://www.gone.test/", 2) != "YY";
                std::string flip = client.Ask("http://www.flip.test/", 2);
                wrong += flip != "NY" && flip != "YY";
                wrong += client.Ask(qmtest::ApplicationRequest("AB:80,x.exe"), 4) != "AB:N";
            }
            ++finished;
        });
    }
    // Meanwhile this thread dispatches nothing and swaps the lists again and again.
    int swaps = 0;
    for (; finished < kClients; ++swaps) {
        user.Create(Member(swaps % 2 ? "anna" : "bob"));
    }
    for (auto& client : clients) {
        client.join();
    }
    user.Create(Member("anna"));
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(swaps, 2);
    EXPECT_EQ(rated.ReceiveAny(100), ""); // it waits for this thread

    std::atomic<bool> done{false};
    std::string reply;
    std::thread reader([&] {
        reply = rated.Receive(2, 15000);
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    reader.join();
    EXPECT_EQ(reply, "YY"); // the rating service cannot be reached: blocked
    EXPECT_EQ(rated.Ask("http://www.kept.test/", 2), "NY"); // and its connection is read again
}

} // namespace
