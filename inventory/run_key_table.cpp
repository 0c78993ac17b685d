#include "inventory/run_key_table.h"

#include "platform/wtext.h"

namespace {
constexpr const char16_t* kPoliciesRun =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
// Older software read and disabled under this misspelt key, which Windows
// never reads; its disabled values are still listed and can be enabled
// into the key above.
constexpr const char16_t* kPolicesRun =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run";
}  // namespace

const RunKeyRow kRunKeyTable[kRunKeyCount] = {
    {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr},
    {HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr},
    {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", nullptr},
    {HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", nullptr},
    {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", nullptr},
    {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", nullptr},
    {HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", nullptr},
    {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", nullptr},
    {HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", nullptr},
    {HKEY_LOCAL_MACHINE, kPoliciesRun, kPolicesRun},
    {HKEY_CURRENT_USER, kPoliciesRun, kPolicesRun},
};

namespace {

constexpr char16_t kSoftware[] = u"SOFTWARE\\";
constexpr size_t kSoftwareLength = 9;
constexpr char16_t kWow32Software[] = u"SOFTWARE\\Wow6432Node\\";

bool StartsWithNoCase(const char16_t* text, const char16_t* prefix, size_t prefixLength) {
  char16_t head[kRunKeyPathUnits] = {};
  if (prefixLength >= kRunKeyPathUnits || wtext::LengthBounded(text, prefixLength) < prefixLength)
    return false;
  for (size_t i = 0; i < prefixLength; ++i) head[i] = text[i];
  return wtext::CompareNoCaseSimple(head, prefix) == 0;
}

}  // namespace

bool RunKeyPath(int row, int view, RunKeySpelling spelling, char16_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  out[0] = 0;
  if (row < 0 || row >= kRunKeyCount) return false;
  const RunKeyRow& entry = kRunKeyTable[row];
  const char16_t* path = spelling == RunKeySpelling::kFormer ? entry.formerPath : entry.path;
  if (path == nullptr) return false;
  if (view == kNativeView) {
    if (wtext::Copy(out, capacity, path)) return true;
  } else if (view == kWow32View && entry.root == HKEY_LOCAL_MACHINE &&
             StartsWithNoCase(path, kSoftware, kSoftwareLength)) {
    if (wtext::Copy(out, capacity, kWow32Software) &&
        wtext::Append(out, capacity, path + kSoftwareLength))
      return true;
  }
  out[0] = 0;
  return false;
}

bool FindRunKey(HKEY root, const char16_t* path, bool acceptFormer, RunKeyPlace* place) {
  if (root == nullptr || path == nullptr) return false;
  for (int row = 0; row < kRunKeyCount; ++row) {
    if (kRunKeyTable[row].root != root) continue;
    for (int view = 0; view < kRunKeyViewCount; ++view) {
      for (RunKeySpelling spelling : {RunKeySpelling::kCurrent, RunKeySpelling::kFormer}) {
        if (spelling == RunKeySpelling::kFormer && !acceptFormer) continue;
        char16_t candidate[kRunKeyPathUnits];
        if (!RunKeyPath(row, view, spelling, candidate)) continue;
        if (wtext::CompareNoCaseSimple(candidate, path) != 0) continue;
        if (place != nullptr) {
          place->row = row;
          place->view = view;
          place->spelling = spelling;
        }
        return true;
      }
    }
  }
  return false;
}

namespace {
struct RootName {
  HKEY root;
  const char16_t* text;
};
const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, u"HKEY_USERS"},
};
}  // namespace

const char16_t* RootKeyText(HKEY root) {
  for (const RootName& entry : kRootNames)
    if (entry.root == root) return entry.text;
  return u"";
}
