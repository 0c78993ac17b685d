// ScanStartupFolder: the files directly inside one startup folder become
// startup items of the context, in the order the file system lists them.
#include "inventory/startup_folder_scanner.h"

#include <cstring>

#include "enrich/file_facts.h"
#include "enrich/split_path.h"
#include "inventory/startup_folders.h"
#include "knowledge/classify.h"
#include "platform/handles.h"
#include "platform/wtext.h"

namespace {

constexpr size_t kPathUnits = MAX_PATH;
constexpr size_t kBaseUnits = 256;
constexpr size_t kExtUnits = 32;

// Entries that a startup folder holds for the shell's own use.
bool IsSkippedName(const char16_t* name) {
  static const char16_t* const kSkipped[] = {u".", u"..", u"desktop.ini", u"Index.dat"};
  for (const char16_t* skipped : kSkipped)
    if (wtext::CompareNoCaseSimple(name, skipped) == 0) return true;
  return false;
}

// "folder\name" into out; false when it does not fit 260 units.
bool JoinPath(char16_t (&out)[kPathUnits], const char16_t* folder, const char16_t* name) {
  out[0] = 0;
  return wtext::Append(out, folder) && wtext::Append(out, u"\\") && wtext::Append(out, name);
}

// Fills a zeroed record for one file. The command line must hold the whole
// path, because a repair deletes the file it names: an entry whose path does
// not fit is skipped rather than listed under a cut path that could name
// another file. The name and the copy of the path in subkey are display
// texts: where a field is narrower (check-only edition) they are cut to it.
bool FillItem(_RunData& item, const char16_t* fullPath, int32_t sourceIndex) {
  char16_t base[kBaseUnits] = {};
  char16_t ext[kExtUnits] = {};
  if (!SplitPath(fullPath, nullptr, 0, nullptr, 0, base, kBaseUnits, ext, kExtUnits))
    return false;
  char16_t name[kPathUnits] = {};
  if (!wtext::Copy(name, base) || !wtext::Append(name, ext)) return false;

  std::memset(&item, 0, sizeof(item));
  item.kind = kKindFolderFile;
  item.status = 1;
  item.type = sourceIndex;
  if (!wtext::Copy(item.cmdline, fullPath)) return false;
  wtext::Copy(item.name, name);
  wtext::Copy(item.subkey, fullPath);
  return true;
}

}  // namespace

int ScanStartupFolder(const char16_t* folder, int32_t sourceIndex, ScanContext& context) {
  if (folder == nullptr || folder[0] == 0) return 0;
  char16_t pattern[kPathUnits] = {};
  if (!JoinPath(pattern, folder, u"*.*")) return 0;

  platform::FindDataW entry;
  std::memset(&entry, 0, sizeof(entry));
  platform::ScopedFind find(platform::FindFirstFileW(pattern, &entry));
  if (!find.valid()) return 0;

  do {
    if (context.cancel == 1) break;
    entry.cFileName[kPathUnits - 1] = 0;
    if (IsSkippedName(entry.cFileName)) continue;
    // A name Windows cannot hold would lead out of the folder once joined.
    if (!IsPlainFileName(entry.cFileName)) continue;

    // A full path over 259 characters does not fit the buffers that follow;
    // the entry is skipped rather than cut.
    char16_t fullPath[kPathUnits] = {};
    if (!JoinPath(fullPath, folder, entry.cFileName)) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;

    _RunData item;
    if (!FillItem(item, fullPath, sourceIndex)) continue;

    ReportItem(context, fullPath);
    if (!ClassifyItem(item, context)) continue;
    // Each file of the folder is its own program: nothing to share.
    FillFileFacts(item);
    AppendToInventory(context, item);
  } while (platform::FindNextFileW(find.get(), &entry));
  return 1;
}
