#include "remote/item_guards.h"

#include "inventory/run_key_table.h"
#include "inventory/startup_folders.h"
#include "platform/platform.h"
#include "platform/wtext.h"

bool TerminatedWithin(const char16_t* text, size_t capacity) {
  return text != nullptr && wtext::LengthBounded(text, capacity) < capacity;
}

bool SamePath(const char16_t* a, const char16_t* b) {
  return wtext::CompareNoCaseSimple(a, b) == 0;
}

int RunKeyRowOf(HKEY root, const char16_t* path) {
  if (root == nullptr || !TerminatedWithin(path, kKeyPathUnits)) return -1;
  RunKeyPlace place;
  return FindRunKey(root, path, false, &place) ? place.row : -1;
}

int DisabledKeyRowOf(HKEY root, const char16_t* path, RunKeyPlace* place) {
  if (root == nullptr || !TerminatedWithin(path, kKeyPathUnits)) return -1;
  const char16_t* slash = wtext::FindLastChar(path, u'\\');
  if (slash == nullptr || !SamePath(slash + 1, kDisableKeyLeaf)) return -1;
  char16_t parent[kKeyPathUnits] = {};
  size_t length = static_cast<size_t>(slash - path);
  for (size_t i = 0; i < length; ++i) parent[i] = path[i];
  RunKeyPlace found;
  if (!FindRunKey(root, parent, true, &found)) return -1;
  if (place != nullptr) *place = found;
  return found.row;
}

namespace {

// The folders a file item may be taken from; empty where the folder cannot
// be determined (an empty entry never matches).
struct ItemFolders {
  char16_t commonStartup[MAX_PATH] = {};
  char16_t userStartup[MAX_PATH] = {};
  char16_t disabled[kFilePathUnits] = {};

  ItemFolders() {
    StartupFolderPath(CSIDL_COMMON_STARTUP, commonStartup);
    StartupFolderPath(CSIDL_STARTUP, userStartup);
    if (!DisabledFilesFolder(disabled, kFilePathUnits)) disabled[0] = 0;
  }

  bool HoldsDirectly(const char16_t* path) const {
    for (const char16_t* known : {commonStartup, userStartup, disabled})
      if (IsFileDirectlyIn(known, path)) return true;
    return false;
  }
};

}  // namespace

bool IsInItemFolder(const char16_t* path) {
  if (!TerminatedWithin(path, kFilePathUnits)) return false;
  return ItemFolders().HoldsDirectly(path);
}

bool DisabledFilesFolder(char16_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  out[0] = 0;
  char16_t module[MAX_PATH + 1] = {};
  DWORD length = platform::GetModuleStateFolderW(module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  if (!wtext::Copy(out, capacity, module) || !wtext::Append(out, capacity, kDisableFolderLeaf)) {
    out[0] = 0;
    return false;
  }
  return true;
}
