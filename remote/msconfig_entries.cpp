// Enable and delete of the items that the system configuration utility
// disabled. It keeps one sub-key per item under HKLM; the record is found by
// its "item" value. Enabling restores the value or file first and removes
// the record only once that worked, so a failure leaves the record (and its
// saved copy) for a later attempt instead of losing the item.
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "platform/file_compare.h"
#include "remote/item_guards.h"
#include "remote/msconfig_entries.h"
#include "remote/registry_item_ops.h"
#include "remote/msconfig_records.h"

namespace {

struct FoundRecord {
  char16_t keyPath[kMsconfigPathUnits] = {};
  RecordValue first;   // "command", or "backup"
  RecordValue second;  // "path" (folder records)
};

// The first record under list whose "item" equals name exactly; reads the
// named values (null for none). Changes nothing.
bool FindRecord(const char16_t* list, const char16_t* name, const char16_t* firstValue,
                const char16_t* secondValue, FoundRecord* found) {
  if (!TerminatedWithin(name, 261)) return false;
  return ForEachMsconfigRecord(list, [&](HKEY record, const char16_t* path) {
    RecordValue item;
    ReadRecordValue(record, u"item", &item);
    if (!item.present || item.text != name) return false;
    wtext::Copy(found->keyPath, path);
    if (firstValue != nullptr) ReadRecordValue(record, firstValue, &found->first);
    if (secondValue != nullptr) ReadRecordValue(record, secondValue, &found->second);
    return true;
  });
}

bool RemoveRecord(const FoundRecord& record) { return DeleteMsconfigRecord(record.keyPath); }

bool HasText(const RecordValue& value) { return value.present && !value.text.empty(); }

}  // namespace

int EnableStartupRegEntry(CommandItem& item) {
  FoundRecord record;
  if (!FindRecord(kMsconfigRegList, item.name, u"command", nullptr, &record)) return -1;
  if (!record.first.present) return -1;

  HKEY root = RootKeyFromName(item.mainkey);
  // Only a Run-type key is written, as by every other operation: a command
  // file must not aim the value at any key that happens to exist.
  if (root == nullptr || RunKeyRowOf(root, item.subkey) < 0) return -1;
  // The value restored and its record removed are one change.
  platform::ScopedRegistryTransaction restore;
  {
    // The Run key must exist already; it is not created.
    platform::ScopedKey runKey;
    if (platform::RegOpenKeyExW(root, item.subkey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                runKey.receive()) !=
        ERROR_SUCCESS)
      return -1;
    if (platform::RegSetValueExW(runKey.get(), item.name, 0, REG_SZ, record.first.bytes.data(),
                                 static_cast<DWORD>(record.first.bytes.size())) != ERROR_SUCCESS)
      return -1;
  }
  return RemoveRecord(record) && restore.Commit() ? 0 : -1;
}

int DeleteStartupRegEntry(CommandItem& item) {
  FoundRecord record;
  if (!FindRecord(kMsconfigRegList, item.name, nullptr, nullptr, &record)) return -1;
  return RemoveRecord(record) ? 0 : -1;
}

int EnableStartupFolderEntry(CommandItem& item) {
  FoundRecord record;
  if (!FindRecord(kMsconfigFolderList, item.name, u"backup", u"path", &record)) return -1;
  const char16_t* backup = record.first.text.c_str();
  const char16_t* path = record.second.text.c_str();
  if (!HasText(record.first) || !HasText(record.second)) return -1;

  // A saved copy recorded at the restore path is restored already; deleting
  // it afterwards would lose it.
  if (SamePath(backup, path) || platform::IsSameFile(backup, path)) return RemoveRecord(record) ? 0 : -1;
  // Never replace a different file that now sits at the restore path.
  if (platform::CompareMoveTarget(backup, path) == platform::TargetState::kDifferent) return -1;
  if (!platform::CopyFileW(backup, path, FALSE)) return -1;
  if (!RemoveRecord(record)) return -1;
  // A saved copy that cannot be deleted is only left-over space.
  platform::DeleteFileW(backup);
  return 0;
}

int DeleteStartupFolderEntry(CommandItem& item) {
  FoundRecord record;
  if (!FindRecord(kMsconfigFolderList, item.name, u"backup", nullptr, &record)) return -1;
  // The record goes first: a saved copy without its record is harmless, a
  // record without its saved copy could never be enabled.
  if (!RemoveRecord(record)) return -1;
  if (HasText(record.first)) platform::DeleteFileW(record.first.text.c_str());
  return 0;
}
