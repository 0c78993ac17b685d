// The knowledge lookups. An entry matches an item when the kinds are equal,
// the names are equal ignoring case, and the entry's command-line text occurs
// in the item's command line (case-sensitive; empty matches everything). The
// first matching entry of a list decides; each list is searched through its
// index (knowledge/knowledge_index.h), which gives the same first entry.
#include "knowledge/classify.h"

#include "platform/wtext.h"

namespace {

int FindInList(const RunDataArray& list, KnowledgeIndex& index, const KnowledgeIndex::ItemKey& key, int32_t level,
               _RunData& item) {
  const char16_t* desc = nullptr;
  if (index.FindFirst(list, item, key, &desc) < 0) return 0;
  item.level = level;
  wtext::Copy(item.desc, desc);
  return 1;
}

}  // namespace

int FindInHiddenList(_RunData& item, ScanContext& context) {
  return FindInList(context.hiddenList, context.hiddenIndex, KnowledgeIndex::KeyOf(item), kLevelSafe, item);
}

int FindInSafeList(_RunData& item, ScanContext& context) {
  return FindInList(context.safeList, context.safeIndex, KnowledgeIndex::KeyOf(item), kLevelSafe, item);
}

int FindInDangerList(_RunData& item, ScanContext& context) {
  return FindInList(context.dangerList, context.dangerIndex, KnowledgeIndex::KeyOf(item), kLevelDangerous, item);
}

// The name's key is computed once for the three lists (the name does not
// change between them: only a match writes the item, and then the lookups
// stop).
bool ClassifyItem(_RunData& item, ScanContext& context) {
  const KnowledgeIndex::ItemKey key = KnowledgeIndex::KeyOf(item);
  if (FindInList(context.hiddenList, context.hiddenIndex, key, kLevelSafe, item)) return false;
  if (FindInList(context.safeList, context.safeIndex, key, kLevelSafe, item)) return true;
  if (FindInList(context.dangerList, context.dangerIndex, key, kLevelDangerous, item)) return true;
  item.level = kLevelUnknown;
  return true;
}
