// Facts about the program an item starts: description, company, version and
// size, read from its version resource and the file itself.
#pragma once

#include <cstdint>

#include "records/run_data.h"
#include "platform/win32_types.h"

void FillFileFacts(_RunData& item);
// out holds 256 units plus terminator; emptied first. 1 when found.
int ReadVersionString(const char16_t* path, const char16_t* valueName, char16_t* out);
#ifndef RUNVANE_CHECK_ONLY
// The low 32 bits of a file's size; 0 when it cannot be opened.
int64_t GetFileSizeOf(const char16_t* path);
// Rewrites "\??\" and "\SystemRoot\" paths in place (260 units); a
// rewritten path that would not fit is left as it was.
void NormalizeNativePath(char16_t* path);
#endif
// The module's directory with its trailing backslash (260 units); 0 and out
// untouched when the look-up fails, the module path does not fit 260 units or
// holds no backslash.
int GetModuleDirectory(HMODULE instance, char16_t* out);
