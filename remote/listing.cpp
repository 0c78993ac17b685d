// ListAutoRunItems lists every startup item the module can change: the
// enabled ones of an ordinary scan, then the disabled ones that
// ScanDisabledItems finds in the places the disable operations (and the
// system configuration utility) keep them.
#include "remote/listing.h"

#include <cstdlib>
#include <cstring>

#include "enrich/file_facts.h"
#include "knowledge/classify.h"
#include "knowledge/knowledge_base.h"
#include "framework/framework_exception.h"
#include "inventory/run_key_table.h"
#include "inventory/scan_driver.h"
#include "inventory/run_key_scanner.h"
#include "inventory/startup_folder_scanner.h"
#include "platform/handles.h"
#include "platform/wtext.h"

namespace {

constexpr const char16_t* kDisabledKeyName = u"\\TidyraDisable";
constexpr const char16_t* kDisabledFolderName = u"TidyraDisableFile";
constexpr size_t kKeyPathUnits = 256;
constexpr DWORD kModulePathUnits = 240;
constexpr size_t kFolderUnits = 261;
constexpr size_t kEntryPathUnits = 260;
constexpr DWORD kSubKeyNameUnits = 260;
constexpr DWORD kEntryValueBytes = 504;

constexpr const char16_t* kStartupRegKey =
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
constexpr const char16_t* kStartupFolderKey =
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// The list under construction; freed as a whole if an allocation fails, so
// that the framework's exception leaves nothing behind.
class NodeListBuilder {
 public:
  NodeListBuilder() = default;
  NodeListBuilder(const NodeListBuilder&) = delete;
  NodeListBuilder& operator=(const NodeListBuilder&) = delete;
  ~NodeListBuilder() { FreeAutoRunList(head_); }

  void AppendFrom(const _RunData& item, int32_t status) {
    void* block = std::calloc(1, sizeof(AutoRunItemNode));
    if (block == nullptr) throw CMemoryException();
    AutoRunItemNode* node = static_cast<AutoRunItemNode*>(block);
    wtext::Copy(node->name, item.name);
    node->status = status;
    node->type = item.type;
    wtext::Copy(node->level, LevelText(item.level));
    wtext::Copy(node->desc, item.desc);
    wtext::Copy(node->cmdline, item.cmdline);
    wtext::Copy(node->mainkey, item.mainkey);
    wtext::Copy(node->subkey, item.subkey);
    wtext::Copy(node->company, item.company);
    node->size = item.size;
    wtext::Copy(node->version, item.version);
    if (tail_ == nullptr)
      head_ = node;
    else
      tail_->next = node;
    tail_ = node;
  }

  void AppendInventory(ScanContext& context, int32_t status) {
    for (int i = 0; i < context.inventory.GetSize(); ++i) AppendFrom(context.inventory[i], status);
  }

  AutoRunItemNode* Release() {
    AutoRunItemNode* head = head_;
    head_ = tail_ = nullptr;
    return head;
  }

 private:
  AutoRunItemNode* head_ = nullptr;
  AutoRunItemNode* tail_ = nullptr;
};

void ScanDisabledRunKeys(ScanContext& context) {
  for (int row = 0; row < kRunKeyCount; ++row) {
    char16_t keyPath[kKeyPathUnits] = {};
    if (!wtext::Copy(keyPath, kKeyPathUnits, kRunKeyTable[row].path) ||
        !wtext::Append(keyPath, kKeyPathUnits, kDisabledKeyName))
      continue;
    ScanRunKey(kRunKeyTable[row].root, keyPath, row, context);
  }
}

// "<module directory>TidyraDisableFile"; false when the module path is not
// known. A module path too long for the usual buffer is read in full, so the
// listing looks in the folder that disabling moved the files to.
bool DisabledFolderPath(char16_t (&folder)[kFolderUnits]) {
  char16_t modulePath[MAX_PATH + 1] = {};
  DWORD length = platform::GetModuleFileNameW(platform::ThisModule(), modulePath, kModulePathUnits);
  if (length >= kModulePathUnits - 1) {
    std::memset(modulePath, 0, sizeof(modulePath));
    length = platform::GetModuleFileNameW(platform::ThisModule(), modulePath, MAX_PATH);
    if (length >= MAX_PATH) return false;
  }
  if (length == 0) return false;
  char16_t* slash = const_cast<char16_t*>(wtext::FindLastChar(modulePath, u'\\'));
  if (slash == nullptr) return false;
  slash[1] = 0;
  return wtext::Copy(folder, modulePath) && wtext::Append(folder, kDisabledFolderName);
}

// One value of an MSConfig entry as text (at most 251 units). A missing or
// unreadable value reads as empty; false only when the value is longer than
// its buffer, which makes the whole entry unreadable.
bool ReadEntryValue(HKEY key, const char16_t* valueName, char16_t (&out)[kEntryValueBytes / 2 + 1]) {
  std::memset(out, 0, sizeof(out));
  DWORD type = 0;
  DWORD bytes = kEntryValueBytes;
  LONG result = platform::RegQueryValueExW(key, valueName, nullptr, &type,
                                           reinterpret_cast<BYTE*>(out), &bytes);
  if (result == ERROR_MORE_DATA) return false;
  if (result != ERROR_SUCCESS) std::memset(out, 0, sizeof(out));
  return true;
}

typedef char16_t EntryValue[kEntryValueBytes / 2 + 1];

// The fields one kind of MSConfig entry yields.
struct MsconfigEntryKind {
  const char16_t* listKey;
  int32_t kind;
  int32_t type;
  // Fills the record from the open entry; false when the entry is to be skipped.
  bool (*read)(HKEY entry, _RunData& item);
};

const char16_t* RootNameFromShortName(const char16_t* shortName) {
  struct Row {
    const char16_t* shortName;
    const char16_t* rootName;
  };
  static const Row kRows[] = {
      {u"HKLM", u"HKEY_LOCAL_MACHINE"},
      {u"HKCU", u"HKEY_CURRENT_USER"},
  };
  for (const Row& row : kRows)
    if (wtext::Equal(shortName, row.shortName)) return row.rootName;
  return u"";
}

bool ReadStartupRegEntry(HKEY entry, _RunData& item) {
  EntryValue itemName, command, hkey, key;
  if (!ReadEntryValue(entry, u"item", itemName) || !ReadEntryValue(entry, u"command", command) ||
      !ReadEntryValue(entry, u"hkey", hkey) || !ReadEntryValue(entry, u"key", key))
    return false;
  wtext::Copy(item.name, itemName);
  wtext::Copy(item.cmdline, command);
  wtext::Copy(item.mainkey, RootNameFromShortName(hkey));
  wtext::Copy(item.subkey, key);
  return true;
}

bool ReadStartupFolderEntry(HKEY entry, _RunData& item) {
  EntryValue itemName, command, path;
  if (!ReadEntryValue(entry, u"item", itemName) || !ReadEntryValue(entry, u"command", command) ||
      !ReadEntryValue(entry, u"path", path))
    return false;
  wtext::Copy(item.name, itemName);
  wtext::Copy(item.cmdline, command);
  wtext::Copy(item.subkey, path);
  return true;
}

const MsconfigEntryKind kMsconfigKinds[] = {
    {kStartupRegKey, kKindRegistryValue, kTypeMsconfigReg, ReadStartupRegEntry},
    {kStartupFolderKey, kKindFolderFile, kTypeMsconfigFolder, ReadStartupFolderEntry},
};

void ScanMsconfigEntries(const MsconfigEntryKind& entryKind, ScanContext& context) {
  platform::ScopedKey list;
  if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, entryKind.listKey, 0, KEY_READ, list.receive()) !=
      ERROR_SUCCESS)
    return;

  for (DWORD index = 0;; ++index) {
    char16_t subKeyName[kSubKeyNameUnits] = {};
    DWORD nameLength = kSubKeyNameUnits;
    LONG result = platform::RegEnumKeyExW(list.get(), index, subKeyName, &nameLength, nullptr,
                                          nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;

    char16_t entryPath[kEntryPathUnits] = {};
    if (!wtext::Copy(entryPath, kEntryPathUnits, entryKind.listKey) ||
        !wtext::Append(entryPath, kEntryPathUnits, u"\\") ||
        !wtext::Append(entryPath, kEntryPathUnits, subKeyName))
      continue;

    platform::ScopedKey entry;
    if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, entryPath, 0, KEY_READ, entry.receive()) !=
        ERROR_SUCCESS)
      continue;

    _RunData item;
    std::memset(&item, 0, sizeof(item));
    item.kind = entryKind.kind;
    item.status = 2;
    item.type = entryKind.type;
    if (!entryKind.read(entry.get(), item)) continue;
    if (!ClassifyItem(item, context)) continue;
    FillFileFacts(item);
    AppendToInventory(context, item);
  }
}

}  // namespace

void ScanDisabledItems(ScanContext& context) {
  LoadKnowledgeBase(context);
  context.inventory.RemoveAll();

  ScanDisabledRunKeys(context);

  char16_t folder[kFolderUnits] = {};
  if (DisabledFolderPath(folder)) ScanStartupFolder(folder, kTypeCommonStartup, context);

  for (const MsconfigEntryKind& entryKind : kMsconfigKinds) ScanMsconfigEntries(entryKind, context);
}

int ListAutoRunItems(ScanContext& context, AutoRunItemNode** head) {
  if (head != nullptr) *head = nullptr;
  NodeListBuilder list;

  ScanAutoRunItems(context);
  list.AppendInventory(context, 1);

  ScanDisabledItems(context);
  list.AppendInventory(context, 2);

  AutoRunItemNode* first = list.Release();
  if (head != nullptr)
    *head = first;
  else
    FreeAutoRunList(first);
  return 0;
}

void FreeAutoRunList(AutoRunItemNode* head) {
  while (head != nullptr) {
    AutoRunItemNode* next = head->next;
    std::free(head);
    head = next;
  }
}
