#pragma once
// GUIDs: creation (CoCreateGuid) and their text form in braces (StringFromGUID2).

#include "platform/wintypes.h"

using HRESULT = LONG;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);

// A new random (version 4) GUID.
HRESULT CoCreateGuid(GUID* pguid);
// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and returns the characters
// written with the terminator (39), or 0 when cchMax is too small.
int StringFromGUID2(const GUID& rguid, WCHAR* lpsz, int cchMax);
