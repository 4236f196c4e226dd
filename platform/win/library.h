#pragma once
// Loading provider libraries: LoadLibraryW/A, GetProcAddress and FreeLibrary
// over the dynamic loader. A bare file name is found the loader's way (the
// caller's RUNPATH, LD_LIBRARY_PATH, the system folders), else beside the
// library that calls.

#include "platform/wintypes.h"

using HMODULE = void*;

HMODULE LoadLibraryW(const WCHAR* lpLibFileName);
HMODULE LoadLibraryA(const char* lpLibFileName);
void* GetProcAddress(HMODULE hModule, const char* lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
