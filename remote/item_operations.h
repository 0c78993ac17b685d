// Disable, enable and delete of one Run-key value or startup file, and the
// operations on entries that the system configuration utility disabled.
// Each returns 0 for success and -1 for failure and, where it moves the item,
// writes its new location into item.subkey (left unchanged on failure).
//
// Where they may act:
// - registry items (types 0-10): only values of the eleven Run-type keys and
//   of their "TidyraDisable" sub-keys;
// - file items: only a plain file name (no "\", "/", ":" or "..", not empty)
//   directly inside one of the two startup folders or the disabled-files
//   folder; a move never overwrites a different file of the same name;
// - MSConfig records: the value or file is restored first and the record is
//   removed only after that worked, so a failure never loses the item.
#pragma once

#include <cstddef>

#include "platform/win32_types.h"
#include "records/remote_command.h"

// Exactly "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER"; null otherwise
// ("HKLM" and other spellings give null, so the operation fails).
HKEY RootKeyFromName(const char16_t* name);

// Run value -> "<key>\TidyraDisable", data "rem " + former data, REG_SZ.
int DisableRegistryItem(CommandItem& item);
// "<key>\TidyraDisable" value starting with "rem " -> "<key>", prefix removed.
int EnableRegistryItem(CommandItem& item);
// Deletes the value from a Run key or its "TidyraDisable" sub-key; a value
// already gone counts as done.
int DeleteRegistryItem(CommandItem& item);
// Startup file (item.subkey) -> "<module directory>TidyraDisableFile\<name>".
int DisableFileItem(CommandItem& item);
// Disabled file (item.subkey) -> "<current user's startup folder>\<name>".
int EnableFileItem(CommandItem& item);
// Deletes the file named by item.subkey; a file already gone counts as done.
int DeleteFileItem(CommandItem& item);

// Records under HKLM "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg"
// (type 100) and "...\startupfolder" (type 101), found by their "item"
// value (exact, case-sensitive); the first match in enumeration order is used.
int EnableStartupRegEntry(CommandItem& item);
int DeleteStartupRegEntry(CommandItem& item);
int EnableStartupFolderEntry(CommandItem& item);
int DeleteStartupFolderEntry(CommandItem& item);

// "<module directory>TidyraDisableFile" into out (capacity units, 261 is
// enough for any module path that fits MAX_PATH); false when it does not fit
// or the module path cannot be read or has no backslash.
bool DisabledFilesFolder(char16_t* out, size_t capacity);
