#pragma once
// Control ids of the diagnostic tool's dialogs; each control's object name is its id.

#include <QString>

namespace kovdiag {

constexpr int IDOK_DONE = 1;
constexpr int IDC_DEBUG_OFF = 1000;
constexpr int IDC_DEBUG_HIGH = 1001;
constexpr int IDC_DEBUG_MEDIUM = 1002;
constexpr int IDC_DEBUG_LOW = 1003;
constexpr int IDC_PROVIDER_TREE = 1004;
constexpr int IDC_INSTALL = 1005;
constexpr int IDC_UNINSTALL = 1006;
constexpr int IDC_UNLOCK_CODE = 1007;
constexpr int IDC_PROVIDER_ID = 1009;
constexpr int IDC_CATALOG_ENTRY_ID = 1010;
constexpr int IDC_CHAIN_LENGTH = 1011;
constexpr int IDC_PROTOCOL_NAME = 1012;

inline QString ControlName(int id) {
    return QString::number(id);
}

// Dialog units of the 8-point dialog font, in pixels.
constexpr int DluX(int units) {
    return units * 3 / 2;
}
constexpr int DluY(int units) {
    return units * 13 / 8;
}

} // namespace kovdiag
