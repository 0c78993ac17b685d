// The records that the system configuration utility keeps of the startup
// items it disabled: one sub-key per item under HKLM, with string values
// ("item", "command", "hkey", "key" for Run values; "item", "command",
// "path", "backup" for startup files). The listing reads them; enabling and
// deleting find them again. Both walk them the same way, through here.
#pragma once

#include <functional>

#include "platform/win32_types.h"

constexpr char16_t kMsconfigRegList[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
constexpr char16_t kMsconfigFolderList[] =
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// Record key paths are built in this many units.
constexpr size_t kMsconfigPathUnits = 260;
constexpr DWORD kRecordValueBytes = 504;

// One string value of a record: at most 251 characters and the terminator;
// the unit after the buffer stays zero, so text is always terminated.
struct RecordValue {
  char16_t text[kRecordValueBytes / sizeof(char16_t) + 1] = {};
  DWORD count = 0;
  bool present = false;
  bool tooLong = false;  // present, but longer than the buffer
};

// A value that is missing or longer than the buffer is not present (a
// restore must never write a cut-off command line or path); tooLong tells
// the second case.
void ReadRecordValue(HKEY record, const char16_t* name, RecordValue* value);

// Opens each record of list in enumeration order and calls visit with the
// open key and its path, until visit answers true. An index that cannot be
// read is passed over; this many failures in a row end the walk (the key
// cannot be read at all). True when visit answered true.
constexpr int kMaxFailedIndexes = 256;
bool ForEachMsconfigRecord(const char16_t* list,
                           const std::function<bool(HKEY record, const char16_t* path)>& visit);
