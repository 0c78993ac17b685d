// Disable, enable and delete of one Run-key value. They act only on values
// of the eleven Run-type keys (in either registry view) and of their
// "TidyraDisable" sub-keys, on exactly the key the item names. A name cut
// by the listing stands for the one value of that key whose name begins
// with it; when it stands for none or several, nothing changes and the
// operation fails.
// Each returns 0 for success and -1 for failure and, where it moves the item,
// writes its new location into item.subkey (left unchanged on failure).
#pragma once

#include "platform/win32_types.h"
#include "records/remote_command.h"

// Exactly "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER"; null otherwise
// ("HKLM" and other spellings give null, so the operation fails).
HKEY RootKeyFromName(const char16_t* name);

// Run value -> "<key>\TidyraDisable", data "rem " + former data, REG_SZ.
int DisableRegistryItem(CommandItem& item);
// "<key>\TidyraDisable" value starting with "rem " -> "<key>", prefix removed
// ("<key>" in the same view, spelt as the table spells it now).
int EnableRegistryItem(CommandItem& item);
// Deletes the value from a Run key or its "TidyraDisable" sub-key; a value
// already gone counts as done.
int DeleteRegistryItem(CommandItem& item);
