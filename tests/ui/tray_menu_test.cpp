// The tray icon's menu in each tray state and pop-up blocker mode, its default
// item and its tip.

#include "ui/system_tray.h"

#include <QAction>
#include <QImage>
#include <QMenu>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

class TrayMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        tray.Create(nullptr, 0x8001, "Quellmark", LoadTrayIcon(IDI_TRAY_LOGGED_OUT), 130, false);
        tray.SetTrayState(TRAY_STATE_STARTED, "");
    }

    // Right-clicks the icon and reads the menu as shown, top to bottom.
    Items RightClick() {
        tray.OnTrayNotification(130, WM_RBUTTONUP);
        Items items;
        for (QAction* action : tray.Menu()->actions()) {
            items.push_back(action->text().toStdString());
        }
        tray.Menu()->hide();
        return items;
    }

    std::string DefaultItem() const {
        QAction* action = tray.Menu()->defaultAction();
        return action ? action->text().toStdString() : std::string();
    }

    CSystemTray tray;
};

TEST_F(TrayMenu, StartingShowsTheResourceLoginBelowOpenAdministrator) {
    EXPECT_EQ(RightClick(), (Items{"Open Administrator", "Login"}));
    EXPECT_EQ(DefaultItem(), "Open Administrator");
    EXPECT_EQ(RightClick(), (Items{"Open Administrator", "Login"}));
}

TEST_F(TrayMenu, LoginInProgressOffersOnlyTheAdministrator) {
    tray.SetTrayState(TRAY_STATE_LOGGING_IN, "");
    EXPECT_EQ(RightClick(), (Items{"Open Administrator"}));
}

TEST_F(TrayMenu, LoggedOutPutsLoginOnTop) {
    tray.SetTrayState(TRAY_STATE_LOGGED_OUT, "");
    EXPECT_EQ(RightClick(), (Items{"Login", "Open Administrator"}));
    EXPECT_EQ(RightClick(), (Items{"Login", "Open Administrator"}));
    EXPECT_EQ(DefaultItem(), "Open Administrator");
}

TEST_F(TrayMenu, LoggedInWithBlockingOnTwiceInARow) {
    tray.SetTrayState(TRAY_STATE_LOGGED_IN, "anna");
    tray.SetPopupBlockerMode(100);
    Items expected{"Popup Blocker Settings...", "Disable Popup Blocker", "Switch User",
                   "Logout: anna", "Open Administrator"};
    EXPECT_EQ(RightClick(), expected);
    EXPECT_EQ(RightClick(), expected);
    EXPECT_EQ(DefaultItem(), "Open Administrator");
}

TEST_F(TrayMenu, LoggedInWithBlockingOffOffersToEnableIt) {
    tray.SetTrayState(TRAY_STATE_LOGGED_IN, "ben");
    tray.SetPopupBlockerMode(101);
    EXPECT_EQ(RightClick(), (Items{"Popup Blocker Settings...", "Enable Popup Blocker",
                                   "Switch User", "Logout: ben", "Open Administrator"}));
}

TEST_F(TrayMenu, PopupBlockingNotOfferedShowsNeitherPopupItem) {
    tray.SetTrayState(TRAY_STATE_LOGGED_IN, "ben");
    tray.SetPopupBlockerMode(102);
    EXPECT_EQ(RightClick(), (Items{"Switch User", "Logout: ben", "Open Administrator"}));
    EXPECT_EQ(RightClick(), (Items{"Switch User", "Logout: ben", "Open Administrator"}));
}

TEST_F(TrayMenu, StatesFollowOneAnotherWithoutLeftovers) {
    tray.SetTrayState(TRAY_STATE_LOGGING_IN, "");
    RightClick();
    tray.SetTrayState(TRAY_STATE_LOGGED_IN, "anna");
    tray.SetPopupBlockerMode(100);
    RightClick();
    tray.SetTrayState(TRAY_STATE_LOGGED_OUT, "");
    EXPECT_EQ(RightClick(), (Items{"Login", "Open Administrator"}));
    tray.SetTrayState(TRAY_STATE_LOGGED_IN, "carl");
    tray.SetPopupBlockerMode(101);
    EXPECT_EQ(RightClick(), (Items{"Popup Blocker Settings...", "Enable Popup Blocker",
                                   "Switch User", "Logout: carl", "Open Administrator"}));
}

TEST_F(TrayMenu, MessagesForAnotherIconAndUnknownStatesChangeNothing) {
    tray.SetTrayState(TRAY_STATE_LOGGED_OUT, "");
    tray.OnTrayNotification(131, WM_RBUTTONUP);
    EXPECT_EQ(tray.Menu()->actions().size(), 6); // the resource as loaded
    tray.SetTrayState(7, "");
    EXPECT_EQ(RightClick().size(), 6u);
}

TEST(TrayIcon, TipIsCutTo127Characters) {
    CSystemTray tray;
    tray.Create(nullptr, 0x8001, std::string(200, 'q'), QIcon(), 130, false);
    EXPECT_EQ(tray.Tip().size(), 127);
    CSystemTray normal;
    normal.Create(nullptr, 0x8001, "Quellmark", QIcon(), 130, false);
    EXPECT_EQ(normal.Tip(), "Quellmark");
}

TEST(TrayIcon, WithoutATrayHostTheIconIsPendingAndPicturesStillChange) {
    CSystemTray tray; // the offscreen desktop has no tray
    EXPECT_FALSE(tray.Create(nullptr, 0x8001, "Quellmark", QIcon(), 130, false));
    EXPECT_TRUE(tray.Pending());
    EXPECT_TRUE(tray.Hidden());
    EXPECT_TRUE(tray.SetTrayIcon(IDI_TRAY_LOGGED_IN));
    EXPECT_TRUE(tray.DeleteTrayIcon());
    EXPECT_FALSE(tray.Pending());
}

TEST(TrayIcon, TheThreeIconResourcesHavePicturesAndOthersNone) {
    for (UINT id : {IDI_TRAY_LOGGED_IN, IDI_TRAY_LOGGING_IN, IDI_TRAY_LOGGED_OUT}) {
        EXPECT_FALSE(LoadTrayIcon(id).isNull()) << id;
    }
    EXPECT_TRUE(LoadTrayIcon(128).isNull());
}

// The pixels of a picture that are nearly white and opaque: the mark drawn on
// the shield, which tells the states apart without colour.
std::vector<QPoint> MarkPixels(UINT id) {
    QImage image = LoadTrayIcon(id).pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    std::vector<QPoint> mark;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && c.red() > 220 && c.green() > 220 && c.blue() > 220) {
                mark.emplace_back(x, y);
            }
        }
    }
    return mark;
}

TEST(TrayIcon, TheStatesDifferInShape) {
    std::vector<QPoint> in = MarkPixels(IDI_TRAY_LOGGED_IN);
    std::vector<QPoint> progress = MarkPixels(IDI_TRAY_LOGGING_IN);
    EXPECT_TRUE(MarkPixels(IDI_TRAY_LOGGED_OUT).empty()); // no check mark when nobody is logged in
    EXPECT_GT(in.size(), 10u);
    EXPECT_GT(progress.size(), 10u);
    EXPECT_NE(in, progress);
}

} // namespace
