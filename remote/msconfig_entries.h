// Enable and delete of the entries that the system configuration utility
// disabled: records under HKLM "...\MSConfig\startupreg" (type 100) and
// "...\MSConfig\startupfolder" (type 101), found by their
// "item" value (exact, case-sensitive); the first match in enumeration order
// is used. The value or file is restored first and the record is removed
// only after that worked, so a failure never loses the item.
// Each returns 0 for success and -1 for failure and, where it moves the item,
// writes its new location into item.subkey (left unchanged on failure).
#pragma once

#include "platform/win32_types.h"
#include "records/remote_command.h"

int EnableStartupRegEntry(CommandItem& item);
int DeleteStartupRegEntry(CommandItem& item);
int EnableStartupFolderEntry(CommandItem& item);
int DeleteStartupFolderEntry(CommandItem& item);
