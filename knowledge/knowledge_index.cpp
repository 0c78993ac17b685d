#include "knowledge/knowledge_index.h"

#include <stdexcept>

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

// Spreads the key's bits before they pick a slot or filter bits.
uint64_t Mix(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdull;
  key ^= key >> 33;
  key *= 0xc4ceb9fe1a85ec53ull;
  return key ^ (key >> 33);
}

uint32_t TagOf(uint64_t key) { return static_cast<uint32_t>(key >> 32); }

// The filter: one 64-bit word per key, two bits in it. About 16 bits a key
// leave roughly one unknown name in sixty to the table.
size_t FilterWord(uint64_t mixed, size_t words) { return static_cast<size_t>(mixed >> 40) & (words - 1); }
uint64_t FilterBits(uint64_t mixed) { return (uint64_t(1) << (mixed & 63)) | (uint64_t(1) << ((mixed >> 6) & 63)); }

// A slot's start with this bit holds the pool_ offset of its key's only entry.
constexpr uint32_t kSingleEntry = 0x80000000u;

// The length of a zero-terminated field, or N when it holds no terminator.
template <size_t N>
size_t FieldLength(const char16_t (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  return length;
}

// pool_ offsets are kept in 31 bits (the top bit marks a slot's only entry).
constexpr size_t kMaxPoolUnits = 0x7FFFFFFFu;

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 1;
  while (size < n) size *= 2;
  return size;
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

KnowledgeIndex::ItemKey KnowledgeIndex::KeyOf(const _RunData& item) {
  ItemKey key;
  key.decided = NameKey(item.name, &key.key);
  return key;
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
  filter_.clear();
  slots_.clear();
  runs_.clear();
  pool_.clear();
  undecided_.clear();
  block_ = nullptr;
  count_ = -1;
}

bool KnowledgeIndex::Describes(const List& list) const {
  return count_ == list.GetSize() && block_ == list.GetData();
}

bool KnowledgeIndex::Pack(const _RunData& entry, int position) {
  const size_t name = FieldLength(entry.name);
  const size_t cmdline = FieldLength(entry.cmdline);
  const size_t desc = FieldLength(entry.desc);
  if (name == rundata::kNameUnits || cmdline == rundata::kCmdlineUnits || desc == rundata::kDescUnits) return false;
  const size_t units = 6 + name + cmdline + desc + 3;
  if (pool_.size() + units > kMaxPoolUnits) throw std::length_error("knowledge index");
  const uint32_t where = static_cast<uint32_t>(position);
  const uint32_t kind = static_cast<uint32_t>(entry.kind);
  const char16_t header[6] = {char16_t(where & 0xFFFF), char16_t(where >> 16), char16_t(kind & 0xFFFF),
                              char16_t(kind >> 16),     char16_t(name),        char16_t(cmdline)};
  pool_.insert(pool_.end(), header, header + 6);
  pool_.insert(pool_.end(), entry.name, entry.name + name + 1);
  pool_.insert(pool_.end(), entry.cmdline, entry.cmdline + cmdline + 1);
  pool_.insert(pool_.end(), entry.desc, entry.desc + desc + 1);
  return true;
}

KnowledgeIndex::Packed KnowledgeIndex::PackedAt(uint32_t offset) const {
  const char16_t* p = pool_.data() + offset;
  Packed packed;
  packed.position = static_cast<int>(uint32_t(p[0]) | (uint32_t(p[1]) << 16));
  packed.kind = static_cast<int32_t>(uint32_t(p[2]) | (uint32_t(p[3]) << 16));
  packed.name = p + 6;
  packed.cmdline = packed.name + p[4] + 1;
  packed.desc = packed.cmdline + p[5] + 1;
  return packed;
}

// Built in linear time: every key is placed in a table of full keys that
// counts its entries, the counts give each key's run in runs_, and the
// entries, taken in list order, fill their runs in ascending order.
void KnowledgeIndex::Rebuild(const List& list) {
  Invalidate();
  const _RunData* entries = list.GetData();
  const int count = list.GetSize();

  // Every entry with a key and whole fields is packed, in list order.
  std::vector<uint64_t> keys(static_cast<size_t>(count));
  std::vector<int32_t> packedAt(static_cast<size_t>(count), -1);
  size_t keyedCount = 0;
  pool_.reserve(static_cast<size_t>(count) * 32);
  for (int i = 0; i < count; ++i) {
    const size_t offset = pool_.size();
    if (NameKey(entries[i].name, &keys[i]) && Pack(entries[i], i)) {
      packedAt[i] = static_cast<int32_t>(offset);
      ++keyedCount;
    } else {
      undecided_.push_back(i);
    }
  }

  // At most half full, so that a probe sequence stays short.
  const size_t size = PowerOfTwoAtLeast(keyedCount * 2 < 16 ? 16 : keyedCount * 2);
  const size_t mask = size - 1;
  std::vector<uint64_t> slotKeys(size);
  std::vector<uint32_t> slotCounts(size, 0);
  std::vector<uint32_t> slotOf(static_cast<size_t>(count));
  size_t groups = 0;
  for (int i = 0; i < count; ++i) {
    if (packedAt[i] < 0) continue;
    size_t slot = Mix(keys[i]) & mask;
    while (slotCounts[slot] != 0 && slotKeys[slot] != keys[i]) slot = (slot + 1) & mask;
    if (slotCounts[slot] == 0) {
      slotKeys[slot] = keys[i];
      ++groups;
    }
    ++slotCounts[slot];
    slotOf[i] = static_cast<uint32_t>(slot);
  }

  // Each run is followed by its end mark.
  slots_.assign(size, Slot{0, 0});
  std::vector<uint32_t> cursor(size, 0);
  uint32_t next = 0;
  for (size_t slot = 0; slot < size; ++slot) {
    if (slotCounts[slot] < 2) continue;
    slots_[slot] = Slot{TagOf(slotKeys[slot]), next + 1};
    cursor[slot] = next;
    next += slotCounts[slot] + 1;
  }
  runs_.assign(next, -1);
  for (int i = 0; i < count; ++i) {
    if (packedAt[i] < 0) continue;
    const uint32_t slot = slotOf[i];
    if (slotCounts[slot] == 1)
      slots_[slot] = Slot{TagOf(slotKeys[slot]), kSingleEntry | static_cast<uint32_t>(packedAt[i])};
    else
      runs_[cursor[slot]++] = packedAt[i];
  }

  const size_t words = PowerOfTwoAtLeast(groups / 4 + 1);
  filter_.assign(words, 0);
  for (size_t slot = 0; slot < size; ++slot) {
    if (slotCounts[slot] == 0) continue;
    const uint64_t mixed = Mix(slotKeys[slot] ^ 0x9e3779b97f4a7c15ull);
    filter_[FilterWord(mixed, words)] |= FilterBits(mixed);
  }
  block_ = entries;
  count_ = count;
}

bool KnowledgeIndex::MayHold(uint64_t key) const {
  if (filter_.empty()) return false;
  const uint64_t mixed = Mix(key ^ 0x9e3779b97f4a7c15ull);
  const uint64_t bits = FilterBits(mixed);
  return (filter_[FilterWord(mixed, filter_.size())] & bits) == bits;
}

// Slots of other keys may carry the same tag: every run with the tag is
// looked at. Only the run of the item's own key can hold a match (equal
// names share a key), so the first match found is the first of the list.
int KnowledgeIndex::FirstKeyed(uint64_t key, const _RunData& item, const char16_t** desc) const {
  if (!MayHold(key)) return -1;
  const size_t mask = slots_.size() - 1;
  const uint32_t tag = TagOf(key);
  auto matches = [&](uint32_t offset) {
    const Packed packed = PackedAt(offset);
    if (packed.kind != item.kind || wtext::CompareNoCase(packed.name, item.name) != 0 ||
        wtext::Find(item.cmdline, packed.cmdline) == nullptr)
      return -1;
    *desc = packed.desc;
    return packed.position;
  };
  for (size_t slot = Mix(key) & mask; slots_[slot].start != 0; slot = (slot + 1) & mask) {
    if (slots_[slot].tag != tag) continue;
    const uint32_t start = slots_[slot].start;
    if (start & kSingleEntry) {
      const int position = matches(start & ~kSingleEntry);
      if (position >= 0) return position;
      continue;
    }
    for (const int32_t* p = runs_.data() + (start - 1); *p >= 0; ++p) {
      const int position = matches(static_cast<uint32_t>(*p));
      if (position >= 0) return position;
    }
  }
  return -1;
}

int KnowledgeIndex::FirstUndecided(const _RunData* entries, const _RunData& item) const {
  for (int32_t position : undecided_)
    if (EntryMatches(entries[position], item)) return position;
  return -1;
}

int KnowledgeIndex::FindFirst(const List& list, const _RunData& item) {
  return FindFirst(list, item, KeyOf(item), nullptr);
}

int KnowledgeIndex::FindFirst(const List& list, const _RunData& item, const ItemKey& key, const char16_t** desc) {
  const char16_t* found = nullptr;
  const int position = [&] {
    if (list.GetSize() < kIndexFromCount || !key.decided) return FindFirstLinear(list, item);
    if (!Describes(list)) {
      try {
        Rebuild(list);
      } catch (...) {
        // No room for the index: the plain walk gives the same answer.
        Invalidate();
        return FindFirstLinear(list, item);
      }
    }
    // The first match by position wins, as in the plain walk: the earlier of
    // the first keyed and the first undecided match.
    const int keyedMatch = FirstKeyed(key.key, item, &found);
    if (undecided_.empty()) return keyedMatch;
    const int otherMatch = FirstUndecided(list.GetData(), item);
    if (otherMatch >= 0 && (keyedMatch < 0 || otherMatch < keyedMatch)) {
      found = nullptr;
      return otherMatch;
    }
    return keyedMatch;
  }();
  if (desc != nullptr && position >= 0) *desc = found != nullptr ? found : list.GetData()[position].desc;
  return position;
}
