// The pop-up letter of the channel's site answer follows an edit in the pop-up
// blocker settings at once after OK, inside a started service with a member
// logged in.

#include "account/agency_comms.h"
#include "account/user.h"
#include "platform/qt/message_box.h"
#include "service/app.h"
#include "service/main_frame.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"
#include "ui/popup_settings_dlg.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <thread>

namespace {

// Asks the channel from another thread while this one serves the event loop.
std::string AskChannel(const std::string& request) {
    std::atomic<bool> done{false};
    std::string reply;
    std::thread client([&] {
        qmtest::ChannelClient channel;
        reply = channel.Ask(request, 2, 15000);
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    client.join();
    return reply;
}

TEST(PopupLetter, FollowsAnAllowanceAddedInTheSettingsAtOnceAfterOk) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::ScopedEnv registry("QUELLMARK_REGISTRY_DIR", installation.RegistryDir());
    std::ofstream(installation.InstallDir() + "/user.prefs")
        << "[POPUPS]\n\n[PORTS]\n\n[APPS]\n\n[SOALLOWS]\n\n[SODENIES]\n\n";
    CPCAppApp& app = *CPCAppApp::Current();
    ASSERT_TRUE(app.InitInstance());
    CUser& user = app.RatingClient()->User();
    user.Prefs().RecordIntegrity(-1);
    user.Create("|user|anna<BR>|password|pw<BR>|popupblocker|Y<BR>|localoverrides|Y<BR>"
                "|agencyserver|127.0.0.1<BR>|agencyport|1<BR>");
    ASSERT_EQ(user.PopupBlockerMode(), POPUP_BLOCKER_ON);
    const std::string site = "http://www.example.net/page";
    EXPECT_EQ(AskChannel(site).substr(1), "Y");

    platform::SetDialogHandler([](QDialog& dialog) {
        auto& settings = dynamic_cast<CPopupSettingsDlg&>(dialog);
        settings.SiteEdit()->setText("example.net"); // stored as *.example.net
        settings.OnAdd();
        return int(QDialog::Accepted);
    });
    app.MainFrame()->WindowProc(WM_COMMAND, ID_POPUP_SETTINGS, 0);
    platform::SetDialogHandler({});
    EXPECT_EQ(AskChannel(site).substr(1), "N");
    EXPECT_EQ(AskChannel("http://www.example.org/").substr(1), "Y");
}

} // namespace
