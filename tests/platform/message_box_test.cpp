#include "platform/qt/message_box.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QDialog>

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(MessageBoxSeam, HandlerSeesCaptionAndTextAndGivesTheAnswer) {
    std::vector<std::string> seen;
    platform::SetMessageBoxHandler([&](const std::string& caption, const std::string& text, UINT) {
        seen.push_back(caption + "|" + text);
        return platform::IDCANCEL;
    });
    EXPECT_EQ(platform::MessageBox("Error: x", "Login", platform::MB_OKCANCEL), platform::IDCANCEL);
    platform::SetMessageBoxHandler({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Login|Error: x");
}

TEST(MessageBoxSeam, RecordFileKeepsEveryBoxOnOneLine) {
    qmtest::TempDir dir;
    qmtest::ScopedEnv record("QUELLMARK_MSGBOX_RECORD", dir / "boxes.txt");
    qmtest::ScopedEnv answer("QUELLMARK_MSGBOX_ANSWER", "7");
    EXPECT_EQ(platform::MessageBox("two\nlines", "First", platform::MB_YESNO), platform::IDNO);
    EXPECT_EQ(platform::MessageBox("plain", "Second", platform::MB_OK), platform::IDNO);
    std::ifstream in(dir / "boxes.txt");
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "First\ttwo\\nlines");
    EXPECT_EQ(second, "Second\tplain");
}

TEST(MessageBoxSeam, DialogHandlerRunsInsteadOfTheModalLoop) {
    QDialog dialog;
    platform::SetDialogHandler([](QDialog& shown) {
        shown.setWindowTitle("handled");
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(platform::ExecDialog(dialog), int(QDialog::Accepted));
    EXPECT_EQ(dialog.windowTitle(), "handled");
    platform::SetDialogHandler({});
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
