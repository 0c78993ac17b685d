// LoadKnowledgeBase: RunLib.xml from "common\config\check\" under the
// module's folder, read afresh into the safe, dangerous and hidden lists.
#include "knowledge/knowledge_base.h"

#include <cstring>
#include <new>
#include <string>

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

// Stores text in a field when it fits with its terminator.
template <size_t N>
bool StoreWhole(char16_t (&field)[N], const std::u16string& text) {
  if (text.size() + 1 > N) return false;
  wtext::Copy(field, text);
  return true;
}

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

// Reads one "RunItem" element of the given "Level" into entry. An attribute text longer than its
// field holds (for instance a "Name" of 260 characters, or of 128 in the
// check-only edition) makes the whole entry unusable: a cut name or command
// fragment would match items the author never meant, so such an entry is
// skipped, and the entries after it are read as usual.
bool ReadEntry(CXmlNodeWrapper& element, int32_t level, _RunData& entry) {
  if (!StoreWhole(entry.name, element.AttributeText(u"Name"))) return false;
  if (!StoreWhole(entry.desc, element.AttributeText(u"Desc"))) return false;
  if (!StoreWhole(entry.cmdline, element.AttributeText(u"CmdL"))) return false;
  if (!StoreWhole(entry.mainkey, element.AttributeText(u"Param1"))) return false;
  if (!StoreWhole(entry.subkey, element.AttributeText(u"Param2"))) return false;
  entry.kind = SmallCode(element.AttributeText(u"Type"));
  entry.status = SmallCode(element.AttributeText(u"Status"));
  entry.level = level;
  return true;
}

RunDataArray* ListOfLevel(ScanContext& context, int32_t level) {
  switch (level) {
    case kLevelSafe: return &context.safeList;
    case kLevelDangerous: return &context.dangerList;
    case kLevelHidden: return &context.hiddenList;
    default: return nullptr;  // "4" or anything else: in no list
  }
}

// Fills the three (empty) lists from a loaded document, in file order;
// false when the document could not be read to its end.
//
// A first pass counts the entries of each level so that every list is
// allocated once: appending one by one would move a large list again and
// again, as the array grows by at most 1,024 elements at a time.
bool ReadEntries(CXmlDocumentWrapper& document, ScanContext& context) {
  CXmlNodeWrapper root = document.RootNode();
  CXmlNodeListWrapper entries = root.SelectChildren(kEntryElement);
  const long count = entries.Length();

  int wanted[4] = {};
  for (long i = 0; i < count && !document.ReadFailed(); ++i)
    ++wanted[SmallCode(entries.ItemAt(i).AttributeText(u"Level"))];
  for (int32_t level = kLevelSafe; level <= kLevelHidden; ++level) {
    if (wanted[level] == 0) continue;
    RunDataArray* list = ListOfLevel(context, level);
    list->SetSize(wanted[level]);
    // Not yet touched: a large list's pages can still be made large ones.
    platform::PreferLargePages(&list->ElementAt(0), sizeof(_RunData) * size_t(wanted[level]));
  }

  // Each entry is read straight into its list's next (zero-filled) slot: a
  // record is 3.6 KB, and building it aside and copying it in would write
  // every one twice. A slot whose entry is skipped is zeroed again for the
  // next one. The level decides the list before anything is written; an
  // entry the first pass did not count (its level text read differently)
  // is appended.
  int filled[4] = {};
  for (long i = 0; i < count && !document.ReadFailed(); ++i) {
    CXmlNodeWrapper element = entries.ItemAt(i);
    const int32_t level = SmallCode(element.AttributeText(u"Level"));
    RunDataArray* list = ListOfLevel(context, level);
    if (list == nullptr) continue;
    int& at = filled[level];
    if (at >= list->GetSize()) list->SetSize(at + 1);
    _RunData& entry = list->ElementAt(at);
    if (!ReadEntry(element, level, entry)) {
      std::memset(static_cast<void*>(&entry), 0, sizeof entry);
      continue;
    }
    ++at;
  }
  // Skipped entries leave unused room at the end.
  for (int32_t level = kLevelSafe; level <= kLevelHidden; ++level) {
    RunDataArray* list = ListOfLevel(context, level);
    if (filled[level] < list->GetSize()) list->SetSize(filled[level]);
  }
  return !document.ReadFailed();
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

  CXmlDocumentWrapper document;
  if (!document.LoadFile(path)) return;  // the lists keep what they held

  EmptyLists(context);
  bool complete = false;
  try {
    complete = ReadEntries(document, context);
  } catch (const CMemoryException&) {
  } catch (const std::bad_alloc&) {
  }
  // A knowledge base that could not be read to its end is not used at all:
  // half of one would call items unknown that it knows, and a scan goes on
  // either way.
  if (!complete) EmptyLists(context);
  RebuildIndexes(context);
}
