#include "platform/qt/quit.h"

#include "platform/qt/gui_thread.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> gQuitPosted{false};

// Modal dialogs still open end as cancelled: their nested loops return, and a
// worker waiting for a dialog opened on its behalf gets its answer.
void CancelModalDialogs() {
    QList<QPointer<QDialog>> open;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog->isVisible() && dialog->isModal()) {
            open.append(dialog);
        }
    }
    for (const QPointer<QDialog>& dialog : open) {
        if (dialog) {
            dialog->reject();
        }
    }
}

} // namespace

void PostQuitMessage(int exitCode) {
    gQuitPosted = true;
    PostToGuiThread([exitCode] {
        CancelModalDialogs();
        QCoreApplication::exit(exitCode);
    });
}

bool QuitPosted() {
    return gQuitPosted;
}

} // namespace platform
