// The registry operations over the image's registry files.
//
// A handle remembers its hive, the names of its key and the access it was
// opened with; every call finds the key again by name, so a handle stays
// right when another process rewrites the file, and a handle whose key was
// deleted answers ERROR_KEY_DELETED.
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/linux/backend.h"
#include "platform/linux/registry_store.h"
#include "platform/platform.h"

namespace platform {

namespace {

using backend::Hive;
using regfile::Key;
using regfile::KeyPath;

// Windows' limits on names: a key name of 255 units, a value name of 16383.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

// What an enumeration by index walks: the key's values, or its sub-keys'
// names, as they were when index 0 was asked for. Another process that
// rewrites the registry file between two calls then cannot shift the
// indexes under the caller, so nothing is skipped or seen twice. A change
// made by this process ends the snapshot: the enumeration goes on over the
// key as it is, as it would on Windows.
struct ValueSnapshot {
  unsigned long changes;
  std::vector<regfile::Value> values;
};
struct KeySnapshot {
  unsigned long changes;
  std::vector<std::u16string> names;
};

struct OpenKey {
  Hive hive;
  KeyPath path;
  REGSAM access;
  std::shared_ptr<ValueSnapshot> values = nullptr;
  std::shared_ptr<KeySnapshot> keys = nullptr;
};

std::map<uintptr_t, OpenKey>& Handles() {
  static std::map<uintptr_t, OpenKey> handles;
  return handles;
}

uintptr_t NextHandleValue() {
  static uintptr_t next = 0x1000;
  next += 4;
  return next;
}

// What a handle stands for. Errors: ERROR_INVALID_HANDLE for an unknown
// handle, ERROR_FILE_NOT_FOUND for the roots this backend does not keep.
LONG Resolve(HKEY key, OpenKey* out) {
  if (key == HKEY_LOCAL_MACHINE) {
    *out = OpenKey{Hive::kMachine, {}, KEY_ALL_ACCESS};
    return ERROR_SUCCESS;
  }
  if (key == HKEY_CURRENT_USER) {
    *out = OpenKey{Hive::kUser, {}, KEY_ALL_ACCESS};
    return ERROR_SUCCESS;
  }
  if (key == HKEY_CLASSES_ROOT || key == HKEY_USERS) return ERROR_FILE_NOT_FOUND;
  auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
  if (it == Handles().end()) return ERROR_INVALID_HANDLE;
  *out = it->second;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const OpenKey& key) {
  uintptr_t value = NextHandleValue();
  Handles()[value] = key;
  return reinterpret_cast<HKEY>(value);
}

// The index-th value of an enumeration of handle key (found: its key now),
// taking the snapshot at index 0; null past the end. Predefined root handles
// enumerate the key as it is.
const regfile::Value* EnumeratedValue(HKEY key, const Key& found, DWORD index) {
  auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
  if (it != Handles().end()) {
    std::shared_ptr<ValueSnapshot>& snapshot = it->second.values;
    const unsigned long changes = backend::LocalChanges();
    if (index == 0) snapshot = std::make_shared<ValueSnapshot>(ValueSnapshot{changes, found.values});
    else if (snapshot && snapshot->changes != changes) snapshot.reset();
    if (snapshot) return index < snapshot->values.size() ? &snapshot->values[index] : nullptr;
  }
  return index < found.values.size() ? &found.values[index] : nullptr;
}

// The same for the names of the sub-keys.
const std::u16string* EnumeratedKey(HKEY key, const Key& found, DWORD index) {
  auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
  if (it != Handles().end()) {
    std::shared_ptr<KeySnapshot>& snapshot = it->second.keys;
    const unsigned long changes = backend::LocalChanges();
    if (index == 0) {
      std::vector<std::u16string> names;
      names.reserve(found.children.size());
      for (const auto& child : found.children) names.push_back(child->name);
      snapshot = std::make_shared<KeySnapshot>(KeySnapshot{changes, std::move(names)});
    } else if (snapshot && snapshot->changes != changes) {
      snapshot.reset();
    }
    if (snapshot) return index < snapshot->names.size() ? &snapshot->names[index] : nullptr;
  }
  return index < found.children.size() ? &found.children[index]->name : nullptr;
}

bool ValidSubKey(const KeyPath& names) {
  for (const auto& name : names)
    if (name.size() > kMaxKeyName) return false;
  return true;
}

// The key of an open handle in the current hive. *error: ERROR_KEY_DELETED
// when it is gone (or the file cannot be read: that error).
Key* FindOpenKey(const OpenKey& open, regfile::File** fileOut, LONG* error) {
  regfile::File* file = backend::ReadHive(open.hive, error);
  if (file == nullptr) return nullptr;
  if (fileOut != nullptr) *fileOut = file;
  Key* key = file->Find(open.path);
  *error = key == nullptr ? (open.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED)
                          : ERROR_SUCCESS;
  return key;
}

std::u16string NameOrEmpty(const char16_t* name) { return name == nullptr ? u"" : name; }

KeyPath Join(const KeyPath& base, const KeyPath& more) {
  KeyPath path = base;
  path.insert(path.end(), more.begin(), more.end());
  return path;
}

// The common start of opening and creating: the root resolved and the
// sub-key path checked and joined to it. badNameError is what an over-long
// key name gives (opening and creating answer differently, as Windows does).
LONG TargetOf(HKEY root, const char16_t* subKey, REGSAM access, LONG badNameError,
              OpenKey* base, OpenKey* target) {
  LONG r = Resolve(root, base);
  if (r != ERROR_SUCCESS) return r;
  KeyPath names = backend::SplitKeyPath(subKey);
  if (!ValidSubKey(names)) return badNameError;
  *target = OpenKey{base->hive, Join(base->path, names), access};
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD /*options*/, REGSAM access,
                   HKEY* result) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey base;
  OpenKey target;
  LONG r = TargetOf(root, subKey, access, ERROR_FILE_NOT_FOUND, &base, &target);
  if (r != ERROR_SUCCESS) return r;
  regfile::File* file = nullptr;
  if (FindOpenKey(base, &file, &r) == nullptr) return r;
  if (file->Find(target.path) == nullptr) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(target);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY root, const char16_t* subKey, DWORD /*reserved*/, char16_t* /*keyClass*/,
                     DWORD /*options*/, REGSAM access, void* /*security*/, HKEY* result,
                     DWORD* disposition) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey base;
  OpenKey target;
  LONG r = TargetOf(root, subKey, access, ERROR_INVALID_PARAMETER, &base, &target);
  if (r != ERROR_SUCCESS) return r;

  // An existing key is only opened: no write, so it works while a Wine
  // server owns the image.
  if (FindOpenKey(base, nullptr, &r) == nullptr) return r;
  regfile::File* file = backend::ReadHive(target.hive, &r);
  if (file == nullptr) return r;
  if (file->Find(target.path) != nullptr) {
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    *result = NewHandle(target);
    return ERROR_SUCCESS;
  }
  bool created = false;
  r = backend::ChangeHive(target.hive, [&](regfile::File& f, bool* modified) -> LONG {
    if (!base.path.empty() && f.Find(base.path) == nullptr) return ERROR_KEY_DELETED;
    f.Create(target.path, &created);
    *modified = created;
    return ERROR_SUCCESS;
  });
  if (r != ERROR_SUCCESS) return r;
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(target);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  backend::Guard guard(backend::Mutex());
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT ||
      key == HKEY_USERS)
    return ERROR_SUCCESS;
  auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
  if (it == Handles().end()) return ERROR_INVALID_HANDLE;
  const OpenKey open = std::move(it->second);
  Handles().erase(it);
  // The key's values are read again from the hive's text when next asked
  // for: a scan over many keys then holds one key's values at a time.
  backend::ForgetValues(open.hive, open.path);
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* /*reserved*/,
                   DWORD* type, BYTE* data, DWORD* dataLength) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey open;
  LONG r = Resolve(key, &open);
  if (r != ERROR_SUCCESS) return r;
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  Key* found = FindOpenKey(open, nullptr, &r);
  if (found == nullptr) return r;
  const regfile::Value* entry = EnumeratedValue(key, *found, index);
  if (entry == nullptr) return ERROR_NO_MORE_ITEMS;
  const regfile::Value& value = *entry;

  if (type != nullptr) *type = value.type;
  DWORD size = DWORD(value.data.size());
  bool nameFits = value.name.size() < *nameLength;
  bool dataFits = data == nullptr || size <= *dataLength;
  if (dataLength != nullptr) *dataLength = size;
  if (!nameFits) return ERROR_MORE_DATA;
  std::memcpy(name, value.name.data(), value.name.size() * sizeof(char16_t));
  name[value.name.size()] = 0;
  *nameLength = DWORD(value.name.size());
  if (!dataFits) return ERROR_MORE_DATA;
  if (data != nullptr && size > 0) std::memcpy(data, value.data.data(), size);
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* /*reserved*/,
                   char16_t* keyClass, DWORD* classLength, void* lastWriteTime) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey open;
  LONG r = Resolve(key, &open);
  if (r != ERROR_SUCCESS) return r;
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  Key* found = FindOpenKey(open, nullptr, &r);
  if (found == nullptr) return r;
  const std::u16string* entry = EnumeratedKey(key, *found, index);
  if (entry == nullptr) return ERROR_NO_MORE_ITEMS;
  const std::u16string& child = *entry;
  if (child.size() >= *nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, child.data(), child.size() * sizeof(char16_t));
  name[child.size()] = 0;
  *nameLength = DWORD(child.size());
  if (classLength != nullptr) {
    if (keyClass != nullptr && *classLength > 0) keyClass[0] = 0;
    *classLength = 0;
  }
  if (lastWriteTime != nullptr) std::memset(lastWriteTime, 0, 8);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* /*reserved*/, DWORD* type,
                      BYTE* data, DWORD* dataLength) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey open;
  LONG r = Resolve(key, &open);
  if (r != ERROR_SUCCESS) return r;
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  Key* found = FindOpenKey(open, nullptr, &r);
  if (found == nullptr) return r;
  const regfile::Value* value = regfile::File::FindValue(found, NameOrEmpty(valueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  DWORD size = DWORD(value->data.size());
  if (data == nullptr) {
    if (dataLength != nullptr) *dataLength = size;
    return ERROR_SUCCESS;
  }
  bool fits = size <= *dataLength;
  *dataLength = size;
  if (!fits) return ERROR_MORE_DATA;
  if (size > 0) std::memcpy(data, value->data.data(), size);
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD /*reserved*/, DWORD type,
                    const BYTE* data, DWORD dataLength) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey open;
  LONG r = Resolve(key, &open);
  if (r != ERROR_SUCCESS) return r;
  if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data == nullptr && dataLength > 0) return ERROR_INVALID_PARAMETER;
  std::u16string name = NameOrEmpty(valueName);
  if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : dataLength);
  return backend::ChangeHive(open.hive, [&](regfile::File& file, bool* modified) -> LONG {
    Key* found = file.Find(open.path);
    if (found == nullptr) return open.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    file.SetValue(found, name, type, bytes);
    *modified = true;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValueW(HKEY key, const char16_t* valueName) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey open;
  LONG r = Resolve(key, &open);
  if (r != ERROR_SUCCESS) return r;
  if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::u16string name = NameOrEmpty(valueName);
  // Nothing to delete is answered without a write.
  Key* found = FindOpenKey(open, nullptr, &r);
  if (found == nullptr) return r;
  if (regfile::File::FindValue(found, name) == nullptr) return ERROR_FILE_NOT_FOUND;
  return backend::ChangeHive(open.hive, [&](regfile::File& file, bool* modified) -> LONG {
    Key* key = file.Find(open.path);
    if (key == nullptr) return open.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    if (!file.DeleteValue(key, name)) return ERROR_FILE_NOT_FOUND;
    *modified = true;
    return ERROR_SUCCESS;
  });
}

LONG SHDeleteValueW(HKEY root, const char16_t* subKey, const char16_t* valueName) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey base;
  LONG r = Resolve(root, &base);
  if (r != ERROR_SUCCESS) return r;
  KeyPath path = Join(base.path, backend::SplitKeyPath(subKey));
  std::u16string name = NameOrEmpty(valueName);
  // Nothing to delete is answered without a write.
  regfile::File* file = backend::ReadHive(base.hive, &r);
  if (file == nullptr) return r;
  Key* found = file->Find(path);
  if (found == nullptr || regfile::File::FindValue(found, name) == nullptr) return ERROR_FILE_NOT_FOUND;
  return backend::ChangeHive(base.hive, [&](regfile::File& f, bool* modified) -> LONG {
    Key* key = f.Find(path);
    if (key == nullptr || !f.DeleteValue(key, name)) return ERROR_FILE_NOT_FOUND;
    *modified = true;
    return ERROR_SUCCESS;
  });
}

LONG SHDeleteKeyW(HKEY root, const char16_t* subKey) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey base;
  LONG r = Resolve(root, &base);
  if (r != ERROR_SUCCESS) return r;
  KeyPath path = Join(base.path, backend::SplitKeyPath(subKey));
  // A whole hive is never deleted.
  if (path.empty()) return ERROR_ACCESS_DENIED;
  regfile::File* file = backend::ReadHive(base.hive, &r);
  if (file == nullptr) return r;
  if (file->Find(path) == nullptr) return ERROR_FILE_NOT_FOUND;
  return backend::ChangeHive(base.hive, [&](regfile::File& f, bool* modified) -> LONG {
    Key* key = f.Find(path);
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    f.Delete(key);
    *modified = true;
    return ERROR_SUCCESS;
  });
}

}  // namespace platform

namespace platform {

LONG RegDeleteTreeW(HKEY key, const char16_t* subKey) {
  backend::Guard guard(backend::Mutex());
  if (backend::InjectedFault()) return ERROR_CANTWRITE;
  OpenKey base;
  LONG r = Resolve(key, &base);
  if (r != ERROR_SUCCESS) return r;
  const KeyPath names = backend::SplitKeyPath(subKey == nullptr ? u"" : subKey);
  const KeyPath path = Join(base.path, names);
  // With a sub-key the key itself goes too; without, only what lies below
  // it. A whole hive is never deleted.
  const bool wholeKey = !names.empty();
  if (wholeKey && path.empty()) return ERROR_ACCESS_DENIED;
  regfile::File* file = backend::ReadHive(base.hive, &r);
  if (file == nullptr) return r;
  Key* found = file->Find(path);
  if (found == nullptr) return path.empty() || wholeKey ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
  if (!wholeKey && found->children.empty() && found->values.empty()) return ERROR_SUCCESS;
  return backend::ChangeHive(base.hive, [&](regfile::File& f, bool* modified) -> LONG {
    Key* target = f.Find(path);
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
    if (wholeKey) {
      f.Delete(target);
    } else {
      while (!target->children.empty()) f.Delete(target->children.back().get());
      while (!target->values.empty()) f.DeleteValue(target, target->values.back().name);
    }
    *modified = true;
    return ERROR_SUCCESS;
  });
}

void BeginRegistryTransaction() { backend::BeginTransaction(); }

BOOL EndRegistryTransaction(BOOL commit) {
  return backend::EndTransaction(commit != FALSE) ? TRUE : FALSE;
}

}  // namespace platform
