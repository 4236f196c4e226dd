#include "installer/kovdiag/diag_installer.h"

#include "installer/incompatible_products.h"
#include "platform/qt/message_box.h"

std::size_t CDiagInstaller::incompatibleRowCount() const {
    return qm::kDiagIncompatibleRows;
}

void CDiagInstaller::reportIncompatible(const std::string&) {
    platform::MessageBox("There is an incompatiable product already installed.", "kovdiag",
                         platform::MB_OK);
}
