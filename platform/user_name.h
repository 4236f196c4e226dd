#pragma once
// The name of the user the calling thread runs as. The user database is read
// once per process and effective user id: a change of user id is noticed.

#include "platform/wintypes.h"

// Copies the name and its terminator into buffer; *size is the capacity on
// entry and the length with terminator on return. FALSE when the user has no
// name or the buffer is too small (then *size holds the size needed).
BOOL GetUserNameA(char* buffer, DWORD* size);
