#pragma once
// Version information of program files (GetFileVersionInfoSizeA and friends).
// A program's version information is the ".qm_version" section of its ELF file
// (platform/version_block.h); programs without a well-formed one have none.
// Queries: "\VarFileInfo\Translation" gives the (language, code page) pairs,
// "\StringFileInfo\<key>" a string with its terminator, the key compared
// without regard to case.

#include "platform/wintypes.h"

namespace platform {

// The size of the file's version information, or 0 when it has none.
DWORD GetFileVersionInfoSizeA(const char* filename, DWORD* handle);
// Copies the version information into data (len bytes); FALSE when the file
// has none or it does not fit.
BOOL GetFileVersionInfoA(const char* filename, DWORD handle, DWORD len, void* data);
// Finds a value in a block filled by GetFileVersionInfoA; FALSE when it is not there.
BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len);

// The full path of the calling process's program file (the module must be
// null). Returns its length; size when it did not fit (the text is then cut
// and terminated); 0 on failure.
DWORD GetModuleFileNameA(void* module, char* filename, DWORD size);

} // namespace platform
