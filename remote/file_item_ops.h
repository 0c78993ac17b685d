// Disable, enable and delete of one startup file. They act only on a plain
// file name directly inside one of the two startup folders or the
// disabled-files folder; a move never overwrites a different file.
// Each returns 0 for success and -1 for failure and, where it moves the item,
// writes its new location into item.subkey (left unchanged on failure).
#pragma once

#include "platform/win32_types.h"
#include "records/remote_command.h"

// Startup file (item.subkey) -> "<module directory>TidyraDisableFile\<name>".
int DisableFileItem(CommandItem& item);
// Disabled file (item.subkey) -> "<current user's startup folder>\<name>".
int EnableFileItem(CommandItem& item);
// Deletes the file named by item.subkey; a file already gone counts as done.
int DeleteFileItem(CommandItem& item);
