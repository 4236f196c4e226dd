#include "installer/kovinst/setup_installer.h"

#include "installer/incompatible_products.h"
#include "installer/kovinst/incompatible_products_dlg.h"
#include "platform/qt/message_box.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name); value && *value) {
            return true;
        }
    }
    return false;
}

} // namespace

std::size_t CSetupInstaller::incompatibleRowCount() const {
    return qm::kSetupIncompatibleRows;
}

void CSetupInstaller::reportIncompatible(const std::string& report) {
    // The setup program may have no application object of its own; one is made
    // for the dialog. Without any display the report goes to the error output.
    std::unique_ptr<QApplication> own;
    if (!QCoreApplication::instance() && DisplayAvailable()) {
        static int argc = 1;
        static char name[] = "kovinst";
        static char* argv[] = {name, nullptr};
        own = std::make_unique<QApplication>(argc, argv);
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "Incompatible Products Report\n%s", report.c_str());
        return;
    }
    CIncompatibleProductsDlg dialog;
    dialog.m_report = report;
    platform::ExecDialog(dialog);
}
