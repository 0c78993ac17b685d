#include "inventory/knowledge_index.h"


#include "platform/wtext.h"

#if !defined(_WIN32) && __has_include("platform/case_fold.h")
#include "platform/case_fold.h"
#define RUNVANE_HAVE_CASE_FOLD 1
#endif

namespace {

// Lists this short are walked: building the index would cost more than it
// saves.
constexpr int kIndexFromCount = 16;

[[maybe_unused]] char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

bool KnowledgeIndex::NameKey(const char16_t* name, std::u16string* key) {
  key->clear();
#ifdef _WIN32
  // The system's lstrcmpiW compares by the user's locale: letters outside
  // ASCII may equal other letters or letter pairs (ligatures, width forms),
  // control characters weigh nothing, and some collations pass over the
  // hyphen and the apostrophe. Printable ASCII is decided by its letter case
  // alone once those two marks are left out of the key.
  for (const char16_t* p = name; *p != 0; ++p) {
    char16_t c = *p;
    if (c < 0x20 || c > 0x7E) return false;
    if (c == u'-' || c == u'\'') continue;
    key->push_back(UpperAscii(c));
  }
  return true;
#elif defined(RUNVANE_HAVE_CASE_FOLD)
  // The Linux backend's lstrcmpiW compares unit by unit after this fold.
  for (const char16_t* p = name; *p != 0; ++p) key->push_back(platform::FoldCaseForCompare(*p));
  return true;
#else
  for (const char16_t* p = name; *p != 0; ++p) key->push_back(UpperAscii(*p));
  return true;
#endif
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
  byName_.clear();
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
  std::u16string key;
  for (int i = 0; i < list.GetSize(); ++i) {
    if (NameKey(entries[i].name, &key))
      byName_[key].push_back(i);
    else
      undecided_.push_back(i);
  }
  block_ = entries;
  count_ = list.GetSize();
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

  std::u16string key;
  try {
    if (!NameKey(item.name, &key)) return FindFirstLinear(list, item);
  } catch (...) {
    return FindFirstLinear(list, item);
  }

  static const std::vector<int> kNone;
  auto found = byName_.find(key);
  const std::vector<int>& named = found != byName_.end() ? found->second : kNone;

  // Both position lists ascend: walk them together so that the first match
  // by position wins, as in the plain walk.
  const _RunData* entries = list.GetData();
  size_t a = 0;
  size_t b = 0;
  while (a < named.size() || b < undecided_.size()) {
    int position;
    if (b >= undecided_.size() || (a < named.size() && named[a] < undecided_[b]))
      position = named[a++];
    else
      position = undecided_[b++];
    if (EntryMatches(entries[position], item)) return position;
  }
  return -1;
}
