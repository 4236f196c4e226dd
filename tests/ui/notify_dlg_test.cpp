// The notification window: its page, its queue, its timer and its place.

#include "tests/support/manual_timers.h"
#include "ui/notify_dlg.h"
#include "ui/notify_placement.h"

#include <QApplication>
#include <QDialog>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

class Notification : public ::testing::Test {
  protected:
    void TearDown() override { QApplication::processEvents(); }

    std::string Shown() const {
        return dialog.Browser() ? dialog.Browser()->toPlainText().trimmed().toStdString()
                                : std::string();
    }

    qmtest::ManualTimers clock;
    CNotifyDlg dialog;
};

TEST_F(Notification, PageIsBuiltExactlyAroundTheMessage) {
    EXPECT_EQ(CNotifyDlg::BuildPage("Hi <B>x</B>"),
              "<html><body topmargin=\"0\" leftmargin=\"0\" OnContextMenu=\"return false\" "
              "Scroll=\"no\"><div align=\"left\"><table border=\"0\" width=\"190\" "
              "cellpadding=\"0\" cellspacing=\"0\"><tr><td align=\"center\" width=\"190\" "
              "height=\"50\"><p align=\"center\"><font face=\"Verdana, Arial\" size=\"1\">Hi "
              "<B>x</B></font></p></td></tr></table></div></body></html>");
}

TEST_F(Notification, WindowHasTheCaptionSizeAndNoContextMenuOrScrollBars) {
    dialog.Show(5000, "User <B>anna</B><BR>has sucessfully logged in.");
    QDialog* window = dialog.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), " Orvane Notification");
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->size(), QSize(200, 80));
    EXPECT_EQ(Shown(), "User anna\nhas sucessfully logged in.");
    EXPECT_EQ(dialog.Browser()->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_EQ(dialog.Browser()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(dialog.Browser()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(Notification, SecondMessageWaitsForTheFirstOnesTime) {
    dialog.Show(5000, "first");
    dialog.Show(5000, "second");
    EXPECT_EQ(Shown(), "first");
    ASSERT_EQ(dialog.Queue().size(), 1u);
    EXPECT_EQ(dialog.Queue().front(), "second|5000");
    clock.Advance(4999);
    EXPECT_EQ(Shown(), "first");
    clock.Advance(1);
    EXPECT_EQ(Shown(), "second");
    EXPECT_TRUE(dialog.Queue().empty());
    clock.Advance(5000);
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_EQ(clock.Running(), 0u);
}

TEST_F(Notification, CloseBoxShowsTheNextMessageAtOnce) {
    dialog.Show(5000, "first");
    dialog.Show(3000, "second");
    dialog.Window()->close();
    EXPECT_EQ(Shown(), "second");
    EXPECT_EQ(clock.Running(), 1u);
    clock.Advance(3000);
    EXPECT_EQ(dialog.Window(), nullptr);
}

TEST_F(Notification, DisplayTimeZeroStaysUntilClosedAndOthersWait) {
    dialog.Show(0, "stays");
    dialog.Show(5000, "waits");
    clock.Advance(600000);
    EXPECT_EQ(Shown(), "stays");
    EXPECT_EQ(dialog.Queue().size(), 1u);
    dialog.Window()->close();
    EXPECT_EQ(Shown(), "waits");
    clock.Advance(5000);
    EXPECT_EQ(dialog.Window(), nullptr);
}

TEST_F(Notification, QueuedDisplayTimeZeroIsKept) {
    dialog.Show(1000, "first");
    dialog.Show(0, "forever");
    EXPECT_EQ(dialog.Queue().front(), "forever|0");
    clock.Advance(1000);
    EXPECT_EQ(Shown(), "forever");
    clock.Advance(3600000);
    EXPECT_EQ(Shown(), "forever");
}

TEST(NotifyPlacement, BottomTaskbarOf1024By768) {
    EXPECT_EQ(NotifyPlacement(RECT{0, 738, 1024, 768}, 1024, 768), (RECT{822, 656, 1022, 736}));
}

TEST(NotifyPlacement, RightTaskbarOf1024By768) {
    EXPECT_EQ(NotifyPlacement(RECT{960, 0, 1024, 768}, 1024, 768), (RECT{758, 686, 958, 766}));
}

TEST(NotifyPlacement, TopAndLeftTaskbars) {
    EXPECT_EQ(NotifyPlacement(RECT{0, 0, 1024, 30}, 1024, 768), (RECT{822, 32, 1022, 112}));
    EXPECT_EQ(NotifyPlacement(RECT{0, 0, 64, 768}, 1024, 768), (RECT{66, 686, 266, 766}));
}

TEST(NotifyPlacement, NoTaskbarGivesTheBottomRightCorner) {
    EXPECT_EQ(NotifyPlacement(RECT{0, 0, 0, 0}, 1024, 768), (RECT{822, 686, 1022, 766}));
    EXPECT_EQ(NotifyPlacement(RECT{100, 700, 400, 768}, 1024, 768), (RECT{822, 686, 1022, 766}));
}

TEST(NotifyPlacement, TaskbarIsTheStripOutsideTheWorkArea) {
    RECT screen{0, 0, 1024, 768};
    EXPECT_EQ(TaskbarRect(screen, RECT{0, 0, 1024, 738}), (RECT{0, 738, 1024, 768}));
    EXPECT_EQ(TaskbarRect(screen, RECT{0, 30, 1024, 768}), (RECT{0, 0, 1024, 30}));
    EXPECT_EQ(TaskbarRect(screen, RECT{0, 0, 960, 768}), (RECT{960, 0, 1024, 768}));
    EXPECT_EQ(TaskbarRect(screen, RECT{64, 0, 1024, 768}), (RECT{0, 0, 64, 768}));
    EXPECT_EQ(TaskbarRect(screen, screen), (RECT{0, 0, 0, 0}));
}

} // namespace
