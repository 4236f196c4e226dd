#include "platform/qt/message_box.h"

#include <QDialog>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::mutex gLock;
MessageBoxHandler gMessageBoxHandler;
DialogHandler gDialogHandler;

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

int RecordToFile(const char* file, const std::string& caption, const std::string& text) {
    if (std::FILE* out = std::fopen(file, "a")) {
        std::fprintf(out, "%s\t%s\n", OneLine(caption).c_str(), OneLine(text).c_str());
        std::fclose(out);
    }
    const char* answer = std::getenv("QUELLMARK_MSGBOX_ANSWER");
    return answer && *answer ? std::atoi(answer) : IDOK;
}

int ShowWithQt(const std::string& text, const std::string& caption, UINT type) {
    QMessageBox box;
    box.setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    box.setText(QString::fromLocal8Bit(text.c_str()));
    switch (type & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & 0xF) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

} // namespace

int MessageBox(const std::string& text, const std::string& caption, UINT type) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(gLock);
        handler = gMessageBoxHandler;
    }
    if (handler) {
        return handler(caption, text, type);
    }
    if (const char* file = std::getenv("QUELLMARK_MSGBOX_RECORD"); file && *file) {
        return RecordToFile(file, caption, text);
    }
    return ShowWithQt(text, caption, type);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(gLock);
    gMessageBoxHandler = std::move(handler);
}

int ExecDialog(QDialog& dialog) {
    DialogHandler handler;
    {
        std::lock_guard lock(gLock);
        handler = gDialogHandler;
    }
    return handler ? handler(dialog) : dialog.exec();
}

void SetDialogHandler(DialogHandler handler) {
    std::lock_guard lock(gLock);
    gDialogHandler = std::move(handler);
}

} // namespace platform
