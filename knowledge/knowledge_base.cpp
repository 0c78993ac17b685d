// LoadKnowledgeBase: RunLib.xml from "common\config\check\" under the
// module's folder, read afresh into the safe, dangerous and hidden lists.
#include "knowledge/knowledge_base.h"

#include <new>
#include <string>
#include <vector>

#include "enrich/file_facts.h"
#include "enrich/xml_dom.h"
#include "framework/framework_exception.h"
#include "platform/large_pages.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

const char16_t kKnowledgeFolder[] = u"common\\config\\check\\";
const char16_t kKnowledgeFile[] = u"RunLib.xml";
const char16_t kEntryElement[] = u"RunItem";

// "1", "2", "3" exactly (no blanks, no leading zeros); anything else is 0.
int32_t SmallCode(const std::u16string& text) {
  if (text == u"1") return 1;
  if (text == u"2") return 2;
  if (text == u"3") return 3;
  return 0;
}

// The attributes an entry is read from, in the order of the texts a read
// hands over.
enum Attribute { kName, kDesc, kCmdL, kParam1, kParam2, kType, kStatus, kLevel, kAttributes };
const char16_t* const kAttributeNames[kAttributes] = {u"Name",   u"Desc", u"CmdL",   u"Param1",
                                                      u"Param2", u"Type", u"Status", u"Level"};

// The file's path; false when the module's folder is unknown (its path could
// not be looked up or did not fit) or the whole path does not fit in MAX_PATH
// units: a cut or relative path would name some other file.
bool KnowledgeBasePath(char16_t (&path)[MAX_PATH]) {
  char16_t folder[MAX_PATH] = {};
  path[0] = 0;
  if (!GetModuleDirectory(platform::ThisModule(), folder) || !wtext::Copy(path, folder)) return false;
  return wtext::Append(path, kKnowledgeFolder) && wtext::Append(path, kKnowledgeFile);
}

void EmptyLists(ScanContext& context) {
  context.safeList.RemoveAll();
  context.dangerList.RemoveAll();
  context.hiddenList.RemoveAll();
}

RunDataArray* ListOfLevel(ScanContext& context, int32_t level) {
  switch (level) {
    case kLevelSafe: return &context.safeList;
    case kLevelDangerous: return &context.dangerList;
    case kLevelHidden: return &context.hiddenList;
    default: return nullptr;  // "4" or anything else: in no list
  }
}

// The usable entries of a file, gathered while it is read: each entry's
// codes and where its five texts (each terminated) start in one block of
// text. The lists are only filled once the whole file has been read: a
// file that turns out malformed leaves them as they were, and each list is
// then allocated once at its final size and every record written once.
struct Gathered {
  struct Entry {
    int32_t level;
    int32_t kind;
    int32_t status;
    size_t text[kType];  // kName..kParam2
  };
  static constexpr size_t kFieldUnits[kType] = {rundata::kNameUnits, rundata::kDescUnits, rundata::kCmdlineUnits,
                                                 rundata::kMainkeyUnits, rundata::kSubkeyUnits};
  std::vector<Entry> entries;
  std::u16string text;
  int count[4] = {};

  // One "RunItem" element. An entry of no list is left out, and so is one
  // with an attribute text longer than its field holds (for instance a
  // "Name" of 260 characters, or of 128 in the check-only edition): a cut
  // name or command fragment would match items the author never meant. The
  // entries after it are read as usual.
  bool Add(const std::u16string* texts) {
    Entry entry;
    entry.level = SmallCode(texts[kLevel]);
    if (entry.level < kLevelSafe || entry.level > kLevelHidden) return true;
    for (int field = kName; field < kType; ++field)
      if (texts[field].size() + 1 > kFieldUnits[field]) return true;
    entry.kind = SmallCode(texts[kType]);
    entry.status = SmallCode(texts[kStatus]);
    for (int field = kName; field < kType; ++field) {
      entry.text[field] = text.size();
      text += texts[field];
      text += u'\0';
    }
    entries.push_back(entry);
    ++count[entry.level];
    return true;
  }
};

constexpr size_t Gathered::kFieldUnits[kType];

// Fills the three (empty) lists from what was gathered, in file order.
void FillLists(const Gathered& gathered, ScanContext& context) {
  for (int32_t level = kLevelSafe; level <= kLevelHidden; ++level) {
    if (gathered.count[level] == 0) continue;
    RunDataArray* list = ListOfLevel(context, level);
    list->SetSize(gathered.count[level]);
    // Not yet touched: a large list's pages can still be made large ones,
    // and all of them are asked for at once rather than one by one.
    const size_t bytes = sizeof(_RunData) * size_t(gathered.count[level]);
    platform::PreferLargePages(&list->ElementAt(0), bytes);
    platform::PopulatePages(&list->ElementAt(0), bytes);
  }
  // Each entry is written straight into its (zero-filled) slot: a record is
  // 3.6 KB, and building it aside and copying it in would write it twice.
  int filled[4] = {};
  const char16_t* text = gathered.text.data();
  for (const Gathered::Entry& source : gathered.entries) {
    _RunData& entry = ListOfLevel(context, source.level)->ElementAt(filled[source.level]++);
    wtext::Copy(entry.name, text + source.text[kName]);
    wtext::Copy(entry.desc, text + source.text[kDesc]);
    wtext::Copy(entry.cmdline, text + source.text[kCmdL]);
    wtext::Copy(entry.mainkey, text + source.text[kParam1]);
    wtext::Copy(entry.subkey, text + source.text[kParam2]);
    entry.kind = source.kind;
    entry.status = source.status;
    entry.level = source.level;
  }
}

void RebuildIndexes(ScanContext& context) {
  try {
    context.safeIndex.Rebuild(context.safeList);
    context.dangerIndex.Rebuild(context.dangerList);
    context.hiddenIndex.Rebuild(context.hiddenList);
  } catch (...) {
    // Without room for an index the lookups walk the lists instead.
    context.safeIndex.Invalidate();
    context.dangerIndex.Invalidate();
    context.hiddenIndex.Invalidate();
  }
}

}  // namespace

void LoadKnowledgeBase(ScanContext& context) {
  char16_t path[MAX_PATH];
  if (!KnowledgeBasePath(path)) return;

  Gathered gathered;
  const XmlReadResult read = ReadChildElements(path, kEntryElement, kAttributeNames, kAttributes,
                                               [&gathered](const std::u16string* texts) { return gathered.Add(texts); });
  if (read == XmlReadResult::kNotLoaded) return;  // the lists keep what they held

  EmptyLists(context);
  bool complete = read == XmlReadResult::kComplete;
  try {
    if (complete) FillLists(gathered, context);
  } catch (const CMemoryException&) {
    complete = false;
  } catch (const std::bad_alloc&) {
    complete = false;
  }
  // A knowledge base that could not be read to its end is not used at all:
  // half of one would call items unknown that it knows, and a scan goes on
  // either way.
  if (!complete) EmptyLists(context);
  RebuildIndexes(context);
}
