#include "platform/qt/message_box.h"

#include "platform/qt/gui_thread.h"
#include "platform/qt/quit.h"

#include <QDialog>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <future>
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

// On a worker thread: the dialog is opened by the user-interface thread without
// a nested loop of its own, and the worker waits for its end.
int OpenFromWorker(const std::function<QDialog*()>& make,
                   const std::function<int(QDialog&, int)>& answer) {
    std::promise<int> result;
    PostToGuiThread([&] {
        QDialog* dialog = make();
        if (QuitPosted()) { // the service ends: the dialog is not opened any more
            result.set_value(answer(*dialog, QDialog::Rejected));
            delete dialog;
            return;
        }
        QObject::connect(dialog, &QDialog::finished, dialog, [&, dialog](int code) {
            dialog->deleteLater();
            result.set_value(answer(*dialog, code));
        });
        dialog->open();
    });
    return result.get_future().get();
}

int ButtonAnswer(int button) {
    switch (button) {
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

void Prepare(QMessageBox& box, const std::string& text, const std::string& caption, UINT type) {
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
}

// The answer of a box that is not shown because the service is ending.
int CancelledAnswer(UINT type) {
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

int ShowWithQt(const std::string& text, const std::string& caption, UINT type) {
    if (QuitPosted()) {
        return CancelledAnswer(type);
    }
    if (!OnGuiThread()) {
        return OpenFromWorker(
            [&] {
                auto* box = new QMessageBox;
                Prepare(*box, text, caption, type);
                return box;
            },
            [](QDialog&, int button) { return ButtonAnswer(button); });
    }
    QMessageBox box;
    Prepare(box, text, caption, type);
    return ButtonAnswer(box.exec());
}

// A dialog in a process whose boxes are recorded: noted and answered at once.
bool RecordDialog(QDialog& dialog, int& result) {
    const char* file = std::getenv("QUELLMARK_MSGBOX_RECORD");
    const char* answer = std::getenv("QUELLMARK_DIALOG_ANSWER");
    if (!file || !*file || !answer || !*answer) {
        return false;
    }
    if (std::FILE* out = std::fopen(file, "a")) {
        std::fprintf(out, "dialog\t%s\n", dialog.objectName().toLocal8Bit().constData());
        std::fclose(out);
    }
    result = std::atoi(answer);
    return true;
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
    int result = 0;
    if (handler) {
        return handler(dialog);
    }
    if (RecordDialog(dialog, result)) {
        return result;
    }
    return QuitPosted() ? int(QDialog::Rejected) : dialog.exec();
}

int RunDialog(const std::function<std::unique_ptr<QDialog>()>& make,
              const std::function<void(QDialog& dialog, int result)>& finished) {
    bool direct = false;
    {
        std::lock_guard lock(gLock);
        direct = bool(gDialogHandler);
    }
    if (OnGuiThread() || direct || std::getenv("QUELLMARK_DIALOG_ANSWER")) {
        int result = 0;
        RunOnGuiThread([&] {
            std::unique_ptr<QDialog> dialog = make();
            result = ExecDialog(*dialog);
            finished(*dialog, result);
        });
        return result;
    }
    if (QuitPosted()) {
        return QDialog::Rejected;
    }
    return OpenFromWorker([&] { return make().release(); },
                          [&](QDialog& dialog, int code) {
                              finished(dialog, code);
                              return code;
                          });
}

void SetDialogHandler(DialogHandler handler) {
    std::lock_guard lock(gLock);
    gDialogHandler = std::move(handler);
}

} // namespace platform
