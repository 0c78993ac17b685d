#include "knowledge/knowledge_index.h"

#include <algorithm>
#include <utility>

#include "platform/case_fold.h"
#include "platform/wtext.h"

namespace {

// Lists this short are walked: building the index would cost more than it
// saves.
constexpr int kIndexFromCount = 16;

// FNV-1a over the folded units. Different names may share a key; every
// candidate is checked by the exact rule, so a shared key costs only time.
constexpr uint64_t kHashStart = 14695981039346656037ull;
uint64_t HashUnit(uint64_t hash, char16_t unit) {
  hash = (hash ^ (unit & 0xFF)) * 1099511628211ull;
  return (hash ^ (unit >> 8)) * 1099511628211ull;
}

// Spreads the key's bits before it picks a slot.
size_t SlotOf(uint64_t key, size_t mask) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdull;
  key ^= key >> 33;
  return static_cast<size_t>(key) & mask;
}

}  // namespace

bool KnowledgeIndex::NameKey(const char16_t* name, uint64_t* key) {
  uint64_t hash = kHashStart;
  for (const char16_t* p = name; *p != 0; ++p) {
    char16_t folded = 0;
    switch (platform::FoldForNameKey(*p, &folded)) {
      case platform::NameKeyUnit::kUndecided: return false;
      case platform::NameKeyUnit::kIgnored: continue;
      case platform::NameKeyUnit::kFolded: hash = HashUnit(hash, folded); break;
    }
  }
  *key = hash;
  return true;
}

bool KnowledgeIndex::EntryMatches(const _RunData& entry, const _RunData& item) {
  return entry.kind == item.kind && wtext::CompareNoCase(entry.name, item.name) == 0 &&
         wtext::Find(item.cmdline, entry.cmdline) != nullptr;
}

int FindFirstLinear(const CArray<_RunData, _RunData>& list, const _RunData& item) {
  const _RunData* entries = list.GetData();
  for (int i = 0; i < list.GetSize(); ++i)
    if (KnowledgeIndex::EntryMatches(entries[i], item)) return i;
  return -1;
}

void KnowledgeIndex::Invalidate() {
  slots_.clear();
  positions_.clear();
  undecided_.clear();
  block_ = nullptr;
  count_ = -1;
}

bool KnowledgeIndex::Describes(const List& list) const {
  return count_ == list.GetSize() && block_ == list.GetData();
}

void KnowledgeIndex::Rebuild(const List& list) {
  Invalidate();
  const _RunData* entries = list.GetData();
  const int count = list.GetSize();

  // (key, position) of every entry with a key, grouped by key with the
  // positions ascending inside each group.
  std::vector<std::pair<uint64_t, int>> keyed;
  keyed.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    uint64_t key = 0;
    if (NameKey(entries[i].name, &key))
      keyed.emplace_back(key, i);
    else
      undecided_.push_back(i);
  }
  std::sort(keyed.begin(), keyed.end());

  size_t groups = 0;
  for (size_t i = 0; i < keyed.size(); ++i)
    if (i == 0 || keyed[i].first != keyed[i - 1].first) ++groups;
  size_t size = 16;
  while (size < groups * 2) size *= 2;
  slots_.assign(size, Slot{0, 0, 0});
  positions_.reserve(keyed.size());

  for (size_t i = 0; i < keyed.size();) {
    size_t end = i;
    while (end < keyed.size() && keyed[end].first == keyed[i].first) ++end;
    size_t slot = SlotOf(keyed[i].first, size - 1);
    while (slots_[slot].count != 0) slot = (slot + 1) & (size - 1);
    slots_[slot] = Slot{keyed[i].first, static_cast<uint32_t>(positions_.size()), static_cast<uint32_t>(end - i)};
    for (; i < end; ++i) positions_.push_back(keyed[i].second);
  }
  block_ = entries;
  count_ = count;
}

void KnowledgeIndex::Candidates(uint64_t key, const int** begin, const int** end) const {
  *begin = *end = nullptr;
  if (slots_.empty()) return;
  const size_t mask = slots_.size() - 1;
  for (size_t slot = SlotOf(key, mask); slots_[slot].count != 0; slot = (slot + 1) & mask) {
    if (slots_[slot].key == key) {
      *begin = positions_.data() + slots_[slot].first;
      *end = *begin + slots_[slot].count;
      return;
    }
  }
}

int KnowledgeIndex::FindFirst(const List& list, const _RunData& item) {
  if (list.GetSize() < kIndexFromCount) return FindFirstLinear(list, item);
  if (!Describes(list)) {
    try {
      Rebuild(list);
    } catch (...) {
      // No room for the index: the plain walk gives the same answer.
      Invalidate();
      return FindFirstLinear(list, item);
    }
  }

  uint64_t key = 0;
  if (!NameKey(item.name, &key)) return FindFirstLinear(list, item);
  const int* named = nullptr;
  const int* namedEnd = nullptr;
  Candidates(key, &named, &namedEnd);

  // Both position runs ascend: walk them together so that the first match
  // by position wins, as in the plain walk.
  const _RunData* entries = list.GetData();
  const int* other = undecided_.data();
  const int* otherEnd = other + undecided_.size();
  while (named != namedEnd || other != otherEnd) {
    int position;
    if (other == otherEnd || (named != namedEnd && *named < *other))
      position = *named++;
    else
      position = *other++;
    if (EntryMatches(entries[position], item)) return position;
  }
  return -1;
}
