// An index over one knowledge list, so that looking an item up costs the
// same whether the list holds a hundred entries or a hundred thousand.
//
// The lookup rule stays that of the plain walk: the FIRST entry (lowest
// position) whose kind equals the item's, whose name equals the item's as
// lstrcmpiW compares, and whose command-line text occurs in the item's
// command line. The index groups entries by a name key that equal names
// (as lstrcmpiW sees them) always share; every candidate is then checked by
// the exact rule, so the key may be coarser than the comparison but never
// finer. Names the key cannot decide (text whose comparison depends on the
// system's locale, see knowledge_index.cpp) are kept apart and looked at for
// every item, merged with the indexed candidates by position.
//
// The index is kept small and contiguous, so that a lookup in a large list
// touches few cache lines: a bit filter of the keys (about two bytes a name)
// answers most unknown names alone; behind it an open-addressing table of
// 8-byte slots (a 32-bit tag of the key and where its entries start) leads
// to one run of entries in ascending position, or to the entry itself when
// the key has one. The index keeps its own packed copy of what a match reads
// of each entry (position, kind, name, command-line text, description), a
// few dozen bytes instead of a record of 3.6 KB, so a known name costs one
// read of that copy rather than reads at three places of its record.
//
// The index describes the list it was built from by the list's block and
// count. The lists are only ever emptied or appended to; a lookup on a list
// that changed since the index was built rebuilds it first. Writing into an
// element in place (ElementAt) does not change that description: call
// Invalidate afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/carray.h"
#include "records/run_data.h"

class KnowledgeIndex {
 public:
  typedef CArray<_RunData, _RunData> List;

  // An item's name key, computed once and used for every list.
  struct ItemKey {
    uint64_t key = 0;
    bool decided = false;  // false: the name is compared with every entry
  };
  static ItemKey KeyOf(const _RunData& item);

  // Indexes every entry of list.
  void Rebuild(const List& list);
  void Invalidate();
  // The position of the first entry of list that matches item, or -1.
  int FindFirst(const List& list, const _RunData& item);
  // The same with the item's key already computed (KeyOf(item)); on a match
  // *desc (when desc is not null) is that entry's description, valid until
  // the list or the index changes.
  int FindFirst(const List& list, const _RunData& item, const ItemKey& key, const char16_t** desc = nullptr);

  // The lookup key of a name (a hash of its case-folded units); false when
  // the key cannot decide names equal to this one (the name is then compared
  // with every entry).
  static bool NameKey(const char16_t* name, uint64_t* key);
  // The match rule itself (kind, name ignoring case, command-line text).
  static bool EntryMatches(const _RunData& entry, const _RunData& item);

 private:
  // One entry's packed copy in pool_.
  struct Packed {
    int position;
    int32_t kind;
    const char16_t* name;
    const char16_t* cmdline;
    const char16_t* desc;
  };

  bool Describes(const List& list) const;
  bool MayHold(uint64_t key) const;
  // Appends entry's packed copy to pool_; false when a field is not
  // terminated within its width (the entry is then compared in place).
  bool Pack(const _RunData& entry, int position);
  Packed PackedAt(uint32_t offset) const;
  // The first matching entry of key's run, or -1 (with its description).
  int FirstKeyed(uint64_t key, const _RunData& item, const char16_t** desc) const;
  // The first matching entry among the undecided names, or -1.
  int FirstUndecided(const _RunData* entries, const _RunData& item) const;

  struct Slot {
    uint32_t tag;  // the key's upper half
    // 0: a free slot; with the top bit: the pool_ offset of the key's only
    // entry; else 1 + the index in runs_ where the key's run starts.
    uint32_t start;
  };
  std::vector<uint64_t> filter_;  // one bit pair set per key
  std::vector<Slot> slots_;
  // Runs of pool_ offsets in ascending position, one per key, each ended by -1.
  std::vector<int32_t> runs_;
  // The packed entries: position and kind (two units each), the name's and
  // the command line's lengths, then name, command line and description,
  // each with its terminator.
  std::vector<char16_t> pool_;
  std::vector<int32_t> undecided_;  // ascending positions of entries without a key
  const _RunData* block_ = nullptr;
  int count_ = -1;
};

// The plain walk over a list from its first entry; -1 when nothing matches.
int FindFirstLinear(const CArray<_RunData, _RunData>& list, const _RunData& item);
