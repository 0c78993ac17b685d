// Disable, enable and delete of one value under a Run-type key. A disabled
// value lives in the "TidyraDisable" sub-key of its key, same name, with the
// value's string type (REG_EXPAND_SZ kept, anything else REG_SZ) and the data
// "rem " followed by the former data bytes. Neither move overwrites a
// different value of the same name.
#include <cstring>
#include <vector>

#include "inventory/run_key_table.h"
#include "inventory/run_values.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "remote/item_guards.h"
#include "remote/registry_item_ops.h"

namespace {

struct RootName {
  const char16_t* text;
  HKEY root;
};
const RootName kRootNames[] = {
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
};

constexpr char16_t kRemPrefix[] = u"rem ";
constexpr DWORD kRemPrefixBytes = 4 * sizeof(char16_t);

// A value's raw bytes and type, read whole from root\path (data is moved
// whatever its length); false when the key or value cannot be read.
bool ReadValue(HKEY root, const char16_t* path, const char16_t* name, std::vector<BYTE>* data,
               DWORD* type) {
  platform::ScopedKey key;
  if (OpenRunKey(root, path, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
  return ReadRunValueBytes(key.get(), name, data, type) == ERROR_SUCCESS;
}

// The string type a value is kept and restored with: REG_EXPAND_SZ stays
// REG_EXPAND_SZ (its %variables% must still expand), anything else is REG_SZ.
DWORD StringTypeOf(DWORD type) { return type == REG_EXPAND_SZ ? DWORD(REG_EXPAND_SZ) : DWORD(REG_SZ); }

// True when root\path holds a value of that name that differs from what is
// about to be written there (type or bytes); an identical value may be
// replaced, as an identical file may. A value that cannot be read counts as
// different.
bool WouldReplaceDifferentValue(HKEY root, const char16_t* path, const char16_t* name, DWORD type,
                                const std::vector<BYTE>& data) {
  platform::ScopedKey key;
  if (OpenRunKey(root, path, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
  std::vector<BYTE> existing;
  DWORD existingType = 0;
  const LONG r = ReadRunValueBytes(key.get(), name, &existing, &existingType);
  if (r == ERROR_FILE_NOT_FOUND) return false;
  return r != ERROR_SUCCESS || existingType != type || existing != data;
}

// Creates or opens root\path and stores bytes as a string value of type.
bool WriteStringValue(HKEY root, const char16_t* path, const char16_t* name, DWORD type,
                      const std::vector<BYTE>& data) {
  platform::ScopedKey key;
  if (platform::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                key.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  return platform::RegSetValueExW(key.get(), name, 0, type, data.data(),
                                 static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool DeleteValueOrGone(HKEY root, const char16_t* path, const char16_t* name) {
  platform::ScopedKey key;
  LONG result = OpenRunKey(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE, key.receive());
  if (result == ERROR_SUCCESS) result = platform::RegDeleteValueW(key.get(), name);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool UsableName(const CommandItem& item) { return TerminatedWithin(item.name, 261); }

// The full name of the value item.name stands for under root\path (a name
// cut by the listing stands for the one value whose name begins with it).
NameMatch FullNameOf(HKEY root, const char16_t* path, const CommandItem& item,
                     std::u16string* fullName) {
  platform::ScopedKey key;
  const LONG opened = OpenRunKey(root, path, KEY_READ, key.receive());
  if (opened == ERROR_FILE_NOT_FOUND) return NameMatch::kNone;
  if (opened != ERROR_SUCCESS) return NameMatch::kUnreadable;
  return ResolveRunValueName(key.get(), item.name, nullptr, fullName);
}

}  // namespace

HKEY RootKeyFromName(const char16_t* name) {
  if (name == nullptr) return nullptr;
  for (const RootName& entry : kRootNames)
    if (wtext::Equal(entry.text, name)) return entry.root;
  return nullptr;
}

int DisableRegistryItem(CommandItem& item) {
  HKEY root = RootKeyFromName(item.mainkey);
  if (RunKeyRowOf(root, item.subkey) < 0 || !UsableName(item)) return -1;

  char16_t disabledKey[kKeyPathUnits] = {};
  if (!wtext::Copy(disabledKey, item.subkey) || !wtext::Append(disabledKey, u"\\") ||
      !wtext::Append(disabledKey, kDisableKeyLeaf))
    return -1;

  std::u16string name;
  if (FullNameOf(root, item.subkey, item, &name) != NameMatch::kFound) return -1;
  std::vector<BYTE> value;
  DWORD type = REG_SZ;
  if (!ReadValue(root, item.subkey, name.c_str(), &value, &type)) return -1;

  std::vector<BYTE> disabled(reinterpret_cast<const BYTE*>(kRemPrefix),
                             reinterpret_cast<const BYTE*>(kRemPrefix) + kRemPrefixBytes);
  disabled.insert(disabled.end(), value.begin(), value.end());
  // Another disabled record of this name is never overwritten.
  if (WouldReplaceDifferentValue(root, disabledKey, name.c_str(), StringTypeOf(type), disabled))
    return -1;
  // The write and the delete are one change: the value is in one key or the
  // other, whatever stops the process (where the registry cannot group them,
  // a failed delete leaves the value in both keys; nothing is lost).
  platform::ScopedRegistryTransaction move;
  if (!WriteStringValue(root, disabledKey, name.c_str(), StringTypeOf(type), disabled)) return -1;
  if (!DeleteValueOrGone(root, item.subkey, name.c_str()) || !move.Commit()) return -1;
  wtext::Copy(item.subkey, disabledKey);
  return 0;
}

int EnableRegistryItem(CommandItem& item) {
  HKEY root = RootKeyFromName(item.mainkey);
  RunKeyPlace place;
  if (DisabledKeyRowOf(root, item.subkey, &place) < 0 || !UsableName(item)) return -1;

  // The value goes back to the key the disabled key lies under; a record
  // kept under a former spelling goes to the row's key in the same view,
  // spelt as Windows reads it.
  char16_t runKey[kKeyPathUnits] = {};
  if (place.spelling == RunKeySpelling::kCurrent) {
    wtext::Copy(runKey, item.subkey);
    runKey[wtext::FindLastChar(runKey, u'\\') - runKey] = 0;
  } else if (!RunKeyPath(place.row, place.view, RunKeySpelling::kCurrent, runKey)) {
    return -1;
  }

  std::u16string name;
  if (FullNameOf(root, item.subkey, item, &name) != NameMatch::kFound) return -1;
  std::vector<BYTE> value;
  DWORD type = REG_SZ;
  if (!ReadValue(root, item.subkey, name.c_str(), &value, &type)) return -1;
  // Only data that disabling wrote is restored: it starts with "rem ".
  if (value.size() < kRemPrefixBytes || std::memcmp(value.data(), kRemPrefix, kRemPrefixBytes) != 0)
    return -1;

  // A live value of this name is never overwritten by a different one.
  const std::vector<BYTE> data(value.begin() + kRemPrefixBytes, value.end());
  if (WouldReplaceDifferentValue(root, runKey, name.c_str(), StringTypeOf(type), data)) return -1;
  platform::ScopedRegistryTransaction move;
  if (!WriteStringValue(root, runKey, name.c_str(), StringTypeOf(type), data)) return -1;
  if (!DeleteValueOrGone(root, item.subkey, name.c_str()) || !move.Commit()) return -1;
  wtext::Copy(item.subkey, runKey);
  return 0;
}

int DeleteRegistryItem(CommandItem& item) {
  HKEY root = RootKeyFromName(item.mainkey);
  if (RunKeyRowOf(root, item.subkey) < 0 && DisabledKeyRowOf(root, item.subkey) < 0) return -1;
  if (!UsableName(item)) return -1;
  std::u16string name;
  switch (FullNameOf(root, item.subkey, item, &name)) {
    case NameMatch::kFound:
      return DeleteValueOrGone(root, item.subkey, name.c_str()) ? 0 : -1;
    case NameMatch::kNone:
      // A whole name that is not there is gone already; a cut name that
      // stands for no value is not "removed".
      return MayBeCutName(item.name) ? -1 : 0;
    case NameMatch::kAmbiguous:
    case NameMatch::kUnreadable:
      break;
  }
  return -1;
}
