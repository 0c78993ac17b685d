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
#include "framework/host_list.h"
#include "inventory/run_key_table.h"
#include "inventory/scan_driver.h"
#include "inventory/run_key_scanner.h"
#include "inventory/startup_folder_scanner.h"
#include "platform/handles.h"
#include "platform/wtext.h"
#include "remote/item_guards.h"
#include "remote/msconfig_records.h"

namespace {


// The list under construction; freed as a whole if an allocation fails, so
// that the framework's exception leaves nothing behind.
class NodeListBuilder {
 public:
  NodeListBuilder() = default;
  NodeListBuilder(const NodeListBuilder&) = delete;
  NodeListBuilder& operator=(const NodeListBuilder&) = delete;

  void AppendFrom(const _RunData& item, int32_t status) {
    AutoRunItemNode* node = list_.Append();
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
  }

  void AppendInventory(ScanContext& context, int32_t status) {
    for (int i = 0; i < context.inventory.GetSize(); ++i) AppendFrom(context.inventory[i], status);
  }

  AutoRunItemNode* Release() { return list_.Release(); }

 private:
  HostListBuilder<AutoRunItemNode> list_;
};

// The disabled-values key of every row in both views, under the row's
// current spelling and then its former one (older software disabled under
// a misspelt policy key); each item names the key it was found in.
void ScanDisabledRunKeys(ScanContext& context) {
  for (int row = 0; row < kRunKeyCount; ++row) {
    for (RunKeySpelling spelling : {RunKeySpelling::kCurrent, RunKeySpelling::kFormer}) {
      NativeViewValues native;
      for (int view = 0; view < kRunKeyViewCount; ++view) {
        char16_t keyPath[kKeyPathUnits] = {};
        if (!RunKeyPath(row, view, spelling, keyPath) ||
            !wtext::Append(keyPath, kKeyPathUnits, u"\\") ||
            !wtext::Append(keyPath, kKeyPathUnits, kDisableKeyLeaf))
          continue;
        // A key shared by both views lists its values once.
        ScanRunKey(kRunKeyTable[row].root, keyPath, row, context, native, view);
      }
    }
  }
}

// One value of an MSConfig entry as text, read whole; a missing or
// unreadable value reads as empty. The fields of the listing hold what fits
// of it: a long command line is listed cut, never passed over.
typedef RecordValue EntryValue;
void ReadEntryValue(HKEY key, const char16_t* valueName, EntryValue& out) {
  ReadRecordValue(key, valueName, &out);
}

// The fields one kind of MSConfig entry yields.
struct MsconfigEntryKind {
  const char16_t* listKey;
  int32_t kind;
  int32_t type;
  // Fills the record from the open entry.
  void (*read)(HKEY entry, _RunData& item);
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

void ReadStartupRegEntry(HKEY entry, _RunData& item) {
  EntryValue itemName, command, hkey, key;
  ReadEntryValue(entry, u"item", itemName);
  ReadEntryValue(entry, u"command", command);
  ReadEntryValue(entry, u"hkey", hkey);
  ReadEntryValue(entry, u"key", key);
  wtext::Copy(item.name, itemName.text);
  wtext::Copy(item.cmdline, command.text);
  wtext::Copy(item.mainkey, RootNameFromShortName(hkey.text.c_str()));
  wtext::Copy(item.subkey, key.text);
}

void ReadStartupFolderEntry(HKEY entry, _RunData& item) {
  EntryValue itemName, command, path;
  ReadEntryValue(entry, u"item", itemName);
  ReadEntryValue(entry, u"command", command);
  ReadEntryValue(entry, u"path", path);
  wtext::Copy(item.name, itemName.text);
  wtext::Copy(item.cmdline, command.text);
  wtext::Copy(item.subkey, path.text);
}

const MsconfigEntryKind kMsconfigKinds[] = {
    {kMsconfigRegList, kKindRegistryValue, kTypeMsconfigReg, ReadStartupRegEntry},
    {kMsconfigFolderList, kKindFolderFile, kTypeMsconfigFolder, ReadStartupFolderEntry},
};

void ScanMsconfigEntries(const MsconfigEntryKind& entryKind, ScanContext& context) {
  ForEachMsconfigRecord(entryKind.listKey, [&](HKEY record, const char16_t*) {
    _RunData item;
    std::memset(&item, 0, sizeof(item));
    item.kind = entryKind.kind;
    item.status = 2;
    item.type = entryKind.type;
    entryKind.read(record, item);
    if (!ClassifyItem(item, context)) return false;
    FillFileFacts(item, context.programFacts);
    AppendToInventory(context, item);
    return false;
  });
}

}  // namespace

void ScanDisabledItems(ScanContext& context) {
  LoadKnowledgeBase(context);
  context.inventory.RemoveAll();

  ScanDisabledRunKeys(context);

  char16_t folder[kFilePathUnits] = {};
  if (DisabledFilesFolder(folder, kFilePathUnits)) ScanStartupFolder(folder, kTypeCommonStartup, context);

  for (const MsconfigEntryKind& entryKind : kMsconfigKinds) ScanMsconfigEntries(entryKind, context);
}

int ListAutoRunItems(ScanContext& context, AutoRunItemNode** head) {
  if (head != nullptr) *head = nullptr;
  NodeListBuilder list;

  {
    // The enabled items become nodes as the scan finds them.
    ScopedTakeItem take(context, [&list](const _RunData& item) { list.AppendFrom(item, 1); });
    ScanAutoRunItems(context);
  }

  ScanDisabledItems(context);
  list.AppendInventory(context, 2);

  AutoRunItemNode* first = list.Release();
  if (head != nullptr)
    *head = first;
  else
    FreeAutoRunList(first);
  return 0;
}

void FreeAutoRunList(AutoRunItemNode* head) { FreeHostList(head); }
