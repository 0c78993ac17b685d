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
// 8-byte slots (a 32-bit tag of the key and where its positions start) leads
// to one run of ascending positions, or holds the position itself when the
// key has one entry.
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
  // The same with the item's key already computed (KeyOf(item)).
  int FindFirst(const List& list, const _RunData& item, const ItemKey& key);

  // The lookup key of a name (a hash of its case-folded units); false when
  // the key cannot decide names equal to this one (the name is then compared
  // with every entry).
  static bool NameKey(const char16_t* name, uint64_t* key);
  // The match rule itself (kind, name ignoring case, command-line text).
  static bool EntryMatches(const _RunData& entry, const _RunData& item);

 private:
  bool Describes(const List& list) const;
  bool MayHold(uint64_t key) const;
  // The first matching entry among the positions of key's run, or -1.
  int FirstKeyed(const _RunData* entries, uint64_t key, const _RunData& item) const;
  // The first matching entry among the undecided names, or -1.
  int FirstUndecided(const _RunData* entries, const _RunData& item) const;

  struct Slot {
    uint32_t tag;    // the key's upper half
    // 0: a free slot; with the top bit: the position of the key's only
    // entry; else 1 + the index in positions_ where the key's run starts.
    uint32_t start;
  };
  std::vector<uint64_t> filter_;  // one bit pair set per key
  std::vector<Slot> slots_;
  // Runs of ascending positions, one per key, each ended by -1.
  std::vector<int32_t> positions_;
  std::vector<int32_t> undecided_;  // ascending positions of entries without a key
  const _RunData* block_ = nullptr;
  int count_ = -1;
};

// The plain walk over a list from its first entry; -1 when nothing matches.
int FindFirstLinear(const CArray<_RunData, _RunData>& list, const _RunData& item);
