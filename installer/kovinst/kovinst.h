#pragma once
// The exports of libkovinst.so, for programs that link it or look them up.

extern "C" {
// 0 when code is the install authorisation code for installId, else 1.
int CheckInstallSID(const char* installId, const char* code);
// Checks the install code (12 when wrong), then installs the provider.
int InstallLSP(const char* installId, const char* code);
// Checks today's removal code (21 when wrong), then removes the provider.
int UninstallLSP(const char* first, const char* second, const char* code);
}
