#include "inventory/run_values.h"

#include <new>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "records/run_data.h"

namespace {

// Windows' longest value name is 16,383 units.
constexpr DWORD kNameBufferUnits = 16384;
constexpr DWORD kFirstDataBytes = 1024;
// A value that grows between the size query and the read is tried again a
// few times, then passed over as unreadable.
constexpr int kReadAttempts = 4;

std::u16string TextOf(const std::vector<BYTE>& data, DWORD bytes) {
  std::u16string text;
  const size_t units = bytes / sizeof(char16_t);
  text.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace

LONG OpenRunKey(HKEY root, const char16_t* path, REGSAM access, HKEY* key) {
  return platform::RegOpenKeyExW(root, path, 0, access | KEY_WOW64_64KEY, key);
}

LONG ReadRunValueAt(HKEY key, DWORD index, RunValue* value) {
  try {
    std::vector<char16_t>& name = value->nameBuffer;
    std::vector<BYTE>& data = value->dataBuffer;
    if (name.size() < kNameBufferUnits) name.resize(kNameBufferUnits);
    if (data.size() < kFirstDataBytes) data.resize(kFirstDataBytes);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
      DWORD nameLength = kNameBufferUnits;
      DWORD dataLength = static_cast<DWORD>(data.size());
      DWORD type = 0;
      LONG result = platform::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                            data.data(), &dataLength);
      if (result == ERROR_MORE_DATA && dataLength > data.size()) {
        data.assign(dataLength, 0);
        continue;
      }
      if (result != ERROR_SUCCESS) return result;
      if (nameLength >= kNameBufferUnits) return ERROR_MORE_DATA;
      value->name.assign(name.data(), nameLength);
      value->text = TextOf(data, dataLength < data.size() ? dataLength : DWORD(data.size()));
      return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LONG ReadRunValueBytes(HKEY key, const char16_t* name, std::vector<BYTE>* data, DWORD* type) {
  try {
    std::vector<BYTE> buffer(kFirstDataBytes);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
      DWORD dataLength = static_cast<DWORD>(buffer.size());
      DWORD valueType = 0;
      LONG result =
          platform::RegQueryValueExW(key, name, nullptr, &valueType, buffer.data(), &dataLength);
      if (result == ERROR_MORE_DATA && dataLength > buffer.size()) {
        buffer.assign(dataLength, 0);
        continue;
      }
      if (result != ERROR_SUCCESS) return result;
      buffer.resize(dataLength < buffer.size() ? dataLength : buffer.size());
      data->swap(buffer);
      if (type != nullptr) *type = valueType;
      return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

bool ReadRunValueText(HKEY key, const char16_t* name, std::u16string* text) {
  try {
    std::vector<BYTE> data;
    if (ReadRunValueBytes(key, name, &data, nullptr) != ERROR_SUCCESS) return false;
    *text = TextOf(data, static_cast<DWORD>(data.size()));
    return true;
  } catch (const std::bad_alloc&) {
  }
  return false;
}

bool TextBeginsWith(const std::u16string& text, const char16_t* prefix) {
  const size_t length = wtext::Length(prefix);
  return text.size() >= length && text.compare(0, length, prefix, length) == 0;
}

bool MayBeCutName(const char16_t* name) {
  return wtext::Length(name) == static_cast<size_t>(rundata::kNameUnits - 1);
}

NameMatch ResolveRunValueName(HKEY key, const char16_t* name, const char16_t* dataPrefix,
                              std::u16string* fullName) {
  // The value of exactly this name, when there is one.
  DWORD type = 0;
  const LONG exact = platform::RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr);
  if (exact == ERROR_SUCCESS) {
    *fullName = name;
    return NameMatch::kFound;
  }
  if (exact != ERROR_FILE_NOT_FOUND) return NameMatch::kUnreadable;
  if (!MayBeCutName(name)) return NameMatch::kNone;

  const size_t length = wtext::Length(name);
  int found = 0;
  RunValue value;
  for (DWORD index = 0;; ++index) {
    const LONG result = ReadRunValueAt(key, index, &value);
    if (result == ERROR_NO_MORE_ITEMS) break;
    // A value that cannot be read might be the one: no unique answer.
    if (result != ERROR_SUCCESS) return NameMatch::kUnreadable;
    if (value.name.size() <= length) continue;
    const std::u16string head = value.name.substr(0, length);
    if (wtext::CompareNoCaseSimple(head.c_str(), name) != 0) continue;
    if (dataPrefix != nullptr && !TextBeginsWith(value.text, dataPrefix)) continue;
    if (++found > 1) return NameMatch::kAmbiguous;
    *fullName = value.name;
  }
  return found == 1 ? NameMatch::kFound : NameMatch::kNone;
}
