// Disable, enable and delete of one Run-key value or startup file, and the
// operations on entries that the system configuration utility disabled.
// Each returns 0 for success and -1 for failure and, where it moves the item,
// writes its new location into item.subkey.
#pragma once

#include <cstddef>

#include "platform/win32_types.h"
#include "remote/remote_command.h"

// Exactly "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER"; null otherwise.
HKEY RootKeyFromName(const char16_t* name);

int DisableRegistryItem(CommandItem& item);
int EnableRegistryItem(CommandItem& item);
int DeleteRegistryItem(CommandItem& item);
int DisableFileItem(CommandItem& item);
int EnableFileItem(CommandItem& item);
// Deletes the file named by item.subkey; a file already gone counts as done.
int DeleteFileItem(CommandItem& item);

int EnableStartupRegEntry(CommandItem& item);
int DeleteStartupRegEntry(CommandItem& item);
int EnableStartupFolderEntry(CommandItem& item);
int DeleteStartupFolderEntry(CommandItem& item);

// "<module directory>TidyraDisableFile" into out (261 units); false when it
// does not fit or the module path has no backslash.
bool DisabledFilesFolder(char16_t* out, size_t capacity);
