#pragma once
// The one seam for message boxes and modal dialogs. The product shows them with
// Qt; tests install a handler that records every caption and text and gives the
// answer set in advance. A process started by a test can be recorded too: with
// QUELLMARK_MSGBOX_RECORD naming a file, every box is appended to it as one line
// "caption<TAB>text" (line feeds in the text written as "\n") and answered with
// the number in QUELLMARK_MSGBOX_ANSWER (IDOK when unset), without a window.
// With QUELLMARK_DIALOG_ANSWER set as well, modal dialogs are recorded as
// "dialog<TAB>object name" and end with that number (0 rejected, 1 accepted).
//
// Called on a worker thread, a box or dialog is shown by the user-interface
// thread and the worker waits for its answer; the user-interface thread does
// not nest a loop for it, so it may itself be waiting for that worker.

#include "platform/wintypes.h"

#include <functional>
#include <memory>
#include <string>

class QDialog;

namespace platform {

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a message box and returns the button pressed (IDOK, IDCANCEL, ...).
int MessageBox(const std::string& text, const std::string& caption, UINT type);

using MessageBoxHandler =
    std::function<int(const std::string& caption, const std::string& text, UINT type)>;
// Replaces the real message box (tests); an empty handler restores it.
void SetMessageBoxHandler(MessageBoxHandler handler);

// Runs a dialog modally and returns its result (QDialog::Accepted = 1 or Rejected = 0).
int ExecDialog(QDialog& dialog);

// Makes a dialog on the user-interface thread, runs it modally and hands it to
// `finished` with the result there before it is deleted; callable from any thread.
int RunDialog(const std::function<std::unique_ptr<QDialog>()>& make,
              const std::function<void(QDialog& dialog, int result)>& finished);

using DialogHandler = std::function<int(QDialog& dialog)>;
// Replaces the modal run of dialogs (tests): the handler fills the dialog's
// controls as a person would and returns the result; empty restores the real run.
void SetDialogHandler(DialogHandler handler);

} // namespace platform
