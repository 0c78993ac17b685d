#include "remote/msconfig_records.h"

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

void ReadRecordValue(HKEY record, const char16_t* name, RecordValue* value) {
  *value = RecordValue();
  DWORD count = kRecordValueBytes;
  LONG result = platform::RegQueryValueExW(record, name, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(value->text), &count);
  if (result != ERROR_SUCCESS || count > kRecordValueBytes) {
    *value = RecordValue();
    value->tooLong = result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && count > kRecordValueBytes);
    return;
  }
  value->count = count;
  value->present = true;
}

bool ForEachMsconfigRecord(const char16_t* list,
                           const std::function<bool(HKEY record, const char16_t* path)>& visit) {
  platform::ScopedKey listKey;
  if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, listKey.receive()) !=
      ERROR_SUCCESS)
    return false;
  int failedInARow = 0;
  for (DWORD index = 0; failedInARow < kMaxFailedIndexes; ++index) {
    char16_t name[kMsconfigPathUnits] = {};
    DWORD length = kMsconfigPathUnits;
    LONG result = platform::RegEnumKeyExW(listKey.get(), index, name, &length, nullptr, nullptr,
                                          nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) {
      ++failedInARow;
      continue;
    }
    failedInARow = 0;
    char16_t path[kMsconfigPathUnits] = {};
    if (!wtext::Copy(path, list) || !wtext::Append(path, u"\\") || !wtext::Append(path, name))
      continue;
    platform::ScopedKey record;
    if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, record.receive()) !=
        ERROR_SUCCESS)
      continue;
    if (visit(record.get(), path)) return true;
  }
  return false;
}
