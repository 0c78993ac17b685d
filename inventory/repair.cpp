// The repair workers. RepairCheckList removes the items behind the nodes of a
// CheckNode list (a registry value from its Run key, a startup file from
// disk); DeleteItemByName removes the first value or startup file of a given
// name; FixItemsByName serves FixItemByName with or without a list of names.
#include "inventory/repair.h"

#include "inventory/run_key_table.h"
#include "inventory/run_values.h"
#include "platform/handles.h"
#include "inventory/startup_folders.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "inventory/check_list.h"

namespace {

// The node fields are the host's memory: each is read only up to its own
// width, and a text that is not terminated inside it is not acted on.
template <size_t N>
bool CopyTerminated(char16_t (&destination)[N], const char16_t* field, size_t fieldUnits) {
  static_assert(N > 0, "destination");
  const size_t length = wtext::LengthBounded(field, fieldUnits);
  if (length >= fieldUnits || length >= N) {
    // Not terminated within its field: keep what fits for the report only.
    size_t keep = length < N - 1 ? length : N - 1;
    for (size_t i = 0; i < keep; ++i) destination[i] = field[i];
    destination[keep] = 0;
    return false;
  }
  for (size_t i = 0; i < length; ++i) destination[i] = field[i];
  destination[length] = 0;
  return true;
}

// A file of a startup folder is gone already when the system says so for
// the file or for the folder that held it.
bool FileIsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool RemoveFile(const char16_t* path) {
  platform::SetLastError(ERROR_SUCCESS);
  if (platform::DeleteFileW(path)) return true;
  return FileIsGone(platform::GetLastError());
}

// Deletes a value of root\path by its full name; true when it is gone.
bool DeleteRunValue(HKEY root, const char16_t* path, const std::u16string& fullName) {
  platform::ScopedKey key;
  LONG result = OpenRunKey(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE, key.receive());
  if (result == ERROR_SUCCESS) result = platform::RegDeleteValueW(key.get(), fullName.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// What one view of a row holds for a node: the value its name stands for,
// and whether that value's data begins with the node's command line.
struct ViewCandidate {
  bool exists = false;   // the key holds a value the name stands for
  bool matches = false;  // ... and its data matches the command line
  bool undecided = false;  // ambiguous, or the key could not be read
  std::u16string fullName;
  char16_t path[kRunKeyPathUnits] = {};
};

void FindInView(int row, int view, const char16_t* name, const char16_t* cmdline,
                ViewCandidate* candidate) {
  if (!RunKeyPath(row, view, RunKeySpelling::kCurrent, candidate->path)) return;
  platform::ScopedKey key;
  const LONG opened = OpenRunKey(kRunKeyTable[row].root, candidate->path, KEY_READ, key.receive());
  if (opened != ERROR_SUCCESS) {
    candidate->undecided = opened != ERROR_FILE_NOT_FOUND;
    return;
  }
  // A cut name stands only for a value whose data matches as well.
  const NameMatch match = ResolveRunValueName(key.get(), name, cmdline, &candidate->fullName);
  if (match == NameMatch::kAmbiguous || match == NameMatch::kUnreadable) candidate->undecided = true;
  if (match != NameMatch::kFound) return;
  candidate->exists = true;
  std::u16string text;
  candidate->matches =
      ReadRunValueText(key.get(), candidate->fullName.c_str(), &text) && TextBeginsWith(text, cmdline);
}

// Removes the value behind a registry node: of the row's views, the one
// whose value of that name has data matching the node's command line; when
// none matches, the first view (native before 32-bit) that holds the name.
// One node deletes at most one value. True when the item is gone.
bool RemoveRunValue(int row, const char16_t* name, const char16_t* cmdline) {
  ViewCandidate views[kRunKeyViewCount];
  for (int view = 0; view < kRunKeyViewCount; ++view)
    FindInView(row, view, name, cmdline, &views[view]);
  const HKEY root = kRunKeyTable[row].root;
  for (const ViewCandidate& view : views)
    if (view.matches) return DeleteRunValue(root, view.path, view.fullName);
  // A cut name that stands for more than one value, or for none with
  // matching data, is not acted on, nor is anything while a view could not
  // be read (it might hold the matching value); a whole name found nowhere
  // is gone.
  for (const ViewCandidate& view : views)
    if (view.undecided) return false;
  for (const ViewCandidate& view : views)
    if (view.exists) return DeleteRunValue(root, view.path, view.fullName);
  return !MayBeCutName(name);
}

// Removes the item behind one node; true when it is gone afterwards.
bool RemoveNodeItem(const CheckNode& node, const char16_t* cmdline, bool cmdlineValid) {
  const uint32_t type = static_cast<uint32_t>(node.type);
  if (type >= static_cast<uint32_t>(kRunKeyCount)) {
    // A cut path would name another file: refuse rather than guess. The
    // node is the host's memory: only a file directly in the startup folder
    // of the node's type is deleted.
    if (!cmdlineValid || cmdline[0] == 0) return false;
    int csidl = type == static_cast<uint32_t>(kTypeCommonStartup) ? CSIDL_COMMON_STARTUP
                : type == static_cast<uint32_t>(kTypeUserStartup) ? CSIDL_STARTUP
                                                                  : -1;
    if (csidl < 0) return false;
    // Without its startup folder the file is gone with it.
    char16_t folder[MAX_PATH];
    if (!StartupFolderPath(csidl, folder)) return true;
    return IsFileDirectlyIn(folder, cmdline) && RemoveFile(cmdline);
  }
  char16_t name[sizeof(node.name) / sizeof(node.name[0])];
  if (!CopyTerminated(name, node.name, sizeof(node.name) / sizeof(node.name[0]))) return false;
  return RemoveRunValue(static_cast<int>(type), name, cmdline);
}

// A name that holds a path separator or a drive colon is not the name of a
// file directly inside a startup folder, and must not reach outside it.
// Frees a list made by the worker on every way out.
class OwnedCheckList {
 public:
  OwnedCheckList() = default;
  OwnedCheckList(const OwnedCheckList&) = delete;
  OwnedCheckList& operator=(const OwnedCheckList&) = delete;
  ~OwnedCheckList() { FreeCheckList(head); }
  CheckNode* head = nullptr;
};

// Points a context's item counter elsewhere for one scope.
class CounterSwap {
 public:
  CounterSwap(ScanContext& context, int32_t* counter) : context_(context), saved_(context.itemCounter) {
    context_.itemCounter = counter;
  }
  CounterSwap(const CounterSwap&) = delete;
  CounterSwap& operator=(const CounterSwap&) = delete;
  ~CounterSwap() { context_.itemCounter = saved_; }

 private:
  ScanContext& context_;
  int32_t* saved_;
};

constexpr size_t kFixNameUnits = sizeof(FixNode::name) / sizeof(char16_t);

}  // namespace

int RepairCheckList(CheckNode* head, ScanContext& context, int mode) {
  constexpr size_t kCmdlineUnits = sizeof(CheckNode::cmdline) / sizeof(char16_t);
  for (CheckNode* node = head; node != nullptr && context.cancel == 0; node = node->next) {
    char16_t cmdline[kCmdlineUnits];
    const bool cmdlineValid = CopyTerminated(cmdline, node->cmdline, kCmdlineUnits);
    ReportItem(context, cmdline);
    if (mode == kRepairSelected && node->selected == 0) continue;
    node->failed = RemoveNodeItem(*node, cmdline, cmdlineValid) ? 0 : 1;
  }
  return 1;
}

int DeleteItemByName(const char16_t* name) {
  if (name == nullptr || name[0] == 0) return 1;

  // First match in table order, the native view before the 32-bit view of
  // each row. A cut name that stands for several values of one key ends the
  // search with nothing deleted.
  for (int row = 0; row < kRunKeyCount; ++row) {
    for (int view = 0; view < kRunKeyViewCount; ++view) {
      char16_t path[kRunKeyPathUnits];
      if (!RunKeyPath(row, view, RunKeySpelling::kCurrent, path)) continue;
      platform::ScopedKey key;
      if (OpenRunKey(kRunKeyTable[row].root, path, KEY_READ, key.receive()) != ERROR_SUCCESS)
        continue;
      std::u16string fullName;
      const NameMatch match = ResolveRunValueName(key.get(), name, nullptr, &fullName);
      if (match == NameMatch::kAmbiguous) return 1;
      // An unreadable key is passed over, as a failed delete always was.
      if (match != NameMatch::kFound) continue;
      key.reset();
      platform::ScopedKey writable;
      if (OpenRunKey(kRunKeyTable[row].root, path, KEY_SET_VALUE, writable.receive()) ==
              ERROR_SUCCESS &&
          platform::RegDeleteValueW(writable.get(), fullName.c_str()) == ERROR_SUCCESS)
        return 0;
    }
  }

  if (!IsPlainFileName(name)) return 1;

  for (int csidl : {CSIDL_COMMON_STARTUP, CSIDL_STARTUP}) {
    char16_t folder[MAX_PATH];
    if (!StartupFolderPath(csidl, folder)) continue;
    char16_t path[MAX_PATH] = {};
    // A path that would not fit the buffer names no file this module lists.
    if (!wtext::Copy(path, folder) || !wtext::Append(path, u"\\") || !wtext::Append(path, name))
      continue;
    if (platform::DeleteFileW(path)) return 0;
  }
  return 1;
}

int FixItemsByName(ScanContext& context, FixNode* head) {
  if (head == nullptr) {
    int32_t reported = 0;
    CounterSwap counter(context, &reported);
    OwnedCheckList list;
    BuildCheckList(context, &list.head);
    RepairCheckList(list.head, context, kRepairAll);
    return 0;
  }

  for (FixNode* node = head; node != nullptr && context.cancel == 0; node = node->next) {
    char16_t name[kFixNameUnits];
    const bool valid = CopyTerminated(name, node->name, kFixNameUnits);
    ReportItem(context, name);
    node->result = valid ? DeleteItemByName(name) : 1;
  }
  return 0;
}
