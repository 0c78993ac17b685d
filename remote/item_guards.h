// The checks that keep the item operations on the places they are meant to
// change: the Run-type keys, the startup folders and the disabled-files
// folder. Every operation runs them before it changes anything.
#pragma once

#include <cstddef>

#include "inventory/run_key_table.h"
#include "inventory/startup_folders.h"
#include "platform/win32_types.h"

// Last key-path component under which disabled values are kept.
constexpr char16_t kDisableKeyLeaf[] = u"TidyraDisable";
// Folder beside the module that holds disabled startup files.
constexpr char16_t kDisableFolderLeaf[] = u"TidyraDisableFile";

// Key paths are built in 256 units, file paths in 261.
constexpr size_t kKeyPathUnits = 256;
constexpr size_t kFilePathUnits = 261;

// True when text is terminated within capacity units (a record field that
// came from outside is never read past its buffer).
bool TerminatedWithin(const char16_t* text, size_t capacity);

// Row of the Run-key table whose root is root and whose key path in either
// registry view (inventory/run_key_table.h) equals path ignoring case; -1
// when none.
int RunKeyRowOf(HKEY root, const char16_t* path);
// Row one of whose key paths, in either view and in its current or former
// spelling, followed by "\TidyraDisable" equals path (ignoring case); -1
// when none. place, when given, receives the row, view and spelling.
int DisabledKeyRowOf(HKEY root, const char16_t* path, RunKeyPlace* place = nullptr);

// True when path names a plain file name directly inside the all-users
// startup folder, the current user's startup folder or the disabled-files
// folder.
bool IsInItemFolder(const char16_t* path);

// Paths equal ignoring case (the file system does not tell case apart).
bool SamePath(const char16_t* a, const char16_t* b);

// "<module state folder>TidyraDisableFile" into out (see
// platform::GetModuleStateFolderW: beside the module, inside the image on Linux) (capacity units, 261 is
// enough for any module path that fits MAX_PATH); false when it does not fit
// or the module path cannot be read or has no backslash.
bool DisabledFilesFolder(char16_t* out, size_t capacity);
