// The records that the system configuration utility keeps of the startup
// items it disabled: one sub-key per item under HKLM, with string values
// ("item", "command", "hkey", "key" for Run values; "item", "command",
// "path", "backup" for startup files). The listing reads them; enabling and
// deleting find them again. Both walk them the same way, through here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32_types.h"

constexpr char16_t kMsconfigRegList[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
constexpr char16_t kMsconfigFolderList[] =
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// Record key paths are built in this many units.
constexpr size_t kMsconfigPathUnits = 260;

// One string value of a record, read whole: text holds the units up to the
// first zero unit, bytes the data as stored (a restore writes it back as it
// was, whatever its length).
struct RecordValue {
  std::u16string text;
  std::vector<BYTE> bytes;
  bool present = false;
};

// A value that is missing or cannot be read is not present.
void ReadRecordValue(HKEY record, const char16_t* name, RecordValue* value);

// Opens each record of list in enumeration order and calls visit with the
// open key and its path, until visit answers true. The records are read in
// the native registry view, where the system configuration utility of a
// 64-bit Windows keeps them. An index that cannot be
// read is passed over; this many failures in a row end the walk (the key
// cannot be read at all). True when visit answered true.
constexpr int kMaxFailedIndexes = 256;
bool ForEachMsconfigRecord(const char16_t* list,
                           const std::function<bool(HKEY record, const char16_t* path)>& visit);

// Deletes the record at path (a record key found by ForEachMsconfigRecord)
// with everything under it, in the same view. A record that is gone already
// counts as deleted.
bool DeleteMsconfigRecord(const char16_t* path);
