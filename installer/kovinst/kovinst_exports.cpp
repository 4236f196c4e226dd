// The setup library's exports: undecorated C names, narrow strings, result codes.

#include "installer/auth_codes.h"
#include "installer/kovinst/setup_installer.h"

#define KOVINST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char* OrEmpty(const char* text) {
    return text ? text : "";
}

} // namespace

KOVINST_EXPORT int CheckInstallSID(const char* installId, const char* code) {
    return qm::IsInstallCode(OrEmpty(installId), OrEmpty(code)) ? 0 : 1;
}

KOVINST_EXPORT int InstallLSP(const char* installId, const char* code) {
    if (CheckInstallSID(installId, code) != 0) {
        return INSTALL_BAD_CODE;
    }
    CSetupInstaller installer;
    return installer.install();
}

KOVINST_EXPORT int UninstallLSP(const char* first, const char* second, const char* code) {
    if (!qm::IsRemovalCode(OrEmpty(first), OrEmpty(second), OrEmpty(code))) {
        return UNINSTALL_BAD_CODE;
    }
    CSetupInstaller installer;
    return installer.uninstall();
}
