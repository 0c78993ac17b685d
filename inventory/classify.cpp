// The knowledge lookups. An entry matches an item when the kinds are equal,
// the names are equal ignoring case, and the entry's command-line text occurs
// in the item's command line (case-sensitive; empty matches everything).
#include "inventory/scan_context.h"
#include "platform/wtext.h"

namespace {

bool EntryMatches(const _RunData& entry, const _RunData& item) {
  return entry.kind == item.kind && wtext::CompareNoCase(entry.name, item.name) == 0 &&
         wtext::Find(item.cmdline, entry.cmdline) != nullptr;
}

int FindInList(const RunDataArray& list, int32_t level, _RunData& item) {
  for (int i = 0; i < list.GetSize(); ++i) {
    const _RunData& entry = list.GetAt(i);
    if (EntryMatches(entry, item)) {
      item.level = level;
      wtext::Copy(item.desc, entry.desc);
      return 1;
    }
  }
  return 0;
}

}  // namespace

int FindInHiddenList(_RunData& item, ScanContext& context) {
  return FindInList(context.hiddenList, kLevelSafe, item);
}

int FindInSafeList(_RunData& item, ScanContext& context) {
  return FindInList(context.safeList, kLevelSafe, item);
}

int FindInDangerList(_RunData& item, ScanContext& context) {
  return FindInList(context.dangerList, kLevelDangerous, item);
}

bool ClassifyItem(_RunData& item, ScanContext& context) {
  if (FindInHiddenList(item, context)) return false;
  if (FindInSafeList(item, context)) return true;
  if (FindInDangerList(item, context)) return true;
  item.level = kLevelUnknown;
  return true;
}
