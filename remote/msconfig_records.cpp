#include "remote/msconfig_records.h"

#include "inventory/run_values.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

void ReadRecordValue(HKEY record, const char16_t* name, RecordValue* value) {
  *value = RecordValue();
  if (ReadRunValueBytes(record, name, &value->bytes, nullptr) != ERROR_SUCCESS) {
    value->bytes.clear();
    return;
  }
  const size_t units = value->bytes.size() / sizeof(char16_t);
  for (size_t i = 0; i < units; ++i) {
    const char16_t unit =
        static_cast<char16_t>(value->bytes[2 * i] | (value->bytes[2 * i + 1] << 8));
    if (unit == 0) break;
    value->text.push_back(unit);
  }
  value->present = true;
}

bool ForEachMsconfigRecord(const char16_t* list,
                           const std::function<bool(HKEY record, const char16_t* path)>& visit) {
  platform::ScopedKey listKey;
  if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_READ | KEY_WOW64_64KEY,
                              listKey.receive()) != ERROR_SUCCESS)
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
    if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY,
                                record.receive()) != ERROR_SUCCESS)
      continue;
    if (visit(record.get(), path)) return true;
  }
  return false;
}

bool DeleteMsconfigRecord(const char16_t* path) {
  // The list key is opened in the native view and the record deleted below
  // it: a path-based delete would reach the 32-bit view from a 32-bit module.
  const char16_t* separator = wtext::FindLastChar(path, u'\\');
  if (separator == nullptr || separator[1] == 0) return false;
  char16_t list[kMsconfigPathUnits] = {};
  const size_t listUnits = static_cast<size_t>(separator - path);
  if (listUnits + 1 > kMsconfigPathUnits) return false;
  for (size_t i = 0; i < listUnits; ++i) list[i] = path[i];
  platform::ScopedKey listKey;
  LONG result = platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                        listKey.receive());
  if (result == ERROR_SUCCESS) result = platform::RegDeleteTreeW(listKey.get(), separator + 1);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
