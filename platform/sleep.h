#pragma once
// Suspends the calling thread.

#include "platform/wintypes.h"

void Sleep(DWORD milliseconds);
