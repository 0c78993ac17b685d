// The two startup folders and the names of the files in them, as every part
// of the module that lists, repairs, moves or deletes a startup file sees
// them.
#pragma once

#include "platform/win32_types.h"

// The folder of csidl (CSIDL_COMMON_STARTUP or CSIDL_STARTUP) into path;
// false, with path empty, when the system does not know it.
bool StartupFolderPath(int csidl, char16_t (&path)[MAX_PATH]);

// A file name that stays in the folder it is joined to and that Windows can
// hold: not empty, not "." or "..", without a control character or any of
// \ / : * ? " < > |.
bool IsPlainFileName(const char16_t* name);

// True when path is folder, a backslash and a plain file name: the file lies
// directly in that folder (folder compared ignoring ASCII case, as paths are).
bool IsFileDirectlyIn(const char16_t* folder, const char16_t* path);
