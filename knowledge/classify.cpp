// The knowledge lookups. An entry matches an item when the kinds are equal,
// the names are equal ignoring case, and the entry's command-line text occurs
// in the item's command line (case-sensitive; empty matches everything). The
// first matching entry of a list decides; each list is searched through its
// index (knowledge/knowledge_index.h), which gives the same first entry.
#include "knowledge/classify.h"

#include "platform/wtext.h"

namespace {

int FindInList(const RunDataArray& list, KnowledgeIndex& index, int32_t level, _RunData& item) {
  int position = index.FindFirst(list, item);
  if (position < 0) return 0;
  item.level = level;
  wtext::Copy(item.desc, list.GetAt(position).desc);
  return 1;
}

}  // namespace

int FindInHiddenList(_RunData& item, ScanContext& context) {
  return FindInList(context.hiddenList, context.hiddenIndex, kLevelSafe, item);
}

int FindInSafeList(_RunData& item, ScanContext& context) {
  return FindInList(context.safeList, context.safeIndex, kLevelSafe, item);
}

int FindInDangerList(_RunData& item, ScanContext& context) {
  return FindInList(context.dangerList, context.dangerIndex, kLevelDangerous, item);
}

bool ClassifyItem(_RunData& item, ScanContext& context) {
  if (FindInHiddenList(item, context)) return false;
  if (FindInSafeList(item, context)) return true;
  if (FindInDangerList(item, context)) return true;
  item.level = kLevelUnknown;
  return true;
}
