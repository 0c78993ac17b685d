// Disable, enable and delete of one startup file. Disabling moves the file
// into the disabled-files folder in the module's state folder (beside the
// module; on Linux inside the image); enabling moves it into
// the current user's startup folder. A move is a rename where one reaches,
// else copy, then delete: the file is never in no place.
#include "inventory/startup_folders.h"
#include "platform/file_compare.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "remote/item_guards.h"
#include "remote/file_item_ops.h"

namespace {

bool DeleteFileOrGone(const char16_t* path) {
  platform::SetLastError(ERROR_SUCCESS);
  if (platform::DeleteFileW(path)) return true;
  return platform::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The source must be a startup or disabled file and the name must not lead
// out of the folder it is joined to.
bool MayTakeFile(const CommandItem& item) {
  return IsPlainFileName(item.name) && IsInItemFolder(item.subkey);
}

// Moves item.subkey to folder\item.name.
int MoveFileTo(CommandItem& item, const char16_t* folder) {
  char16_t target[kFilePathUnits] = {};
  if (!wtext::Copy(target, folder) || !wtext::Append(target, u"\\") ||
      !wtext::Append(target, item.name))
    return -1;
  // Copying a file onto itself and then deleting the source would lose it;
  // the file already is where the command wants it.
  // Identity decides, not spelling: the file system may fold case further.
  if (SamePath(item.subkey, target) || platform::IsSameFile(item.subkey, target)) return 0;
  // Only a copy left by an earlier, interrupted move may be overwritten.
  const platform::TargetState existing = platform::CompareMoveTarget(item.subkey, target);
  if (existing == platform::TargetState::kDifferent) return -1;
  // A rename moves the file in one step, whatever stops the process (and a
  // link as the link it is). Across volumes, where no rename reaches, the
  // file is copied and then deleted: a failed delete leaves it in both
  // places, never in none.
  const DWORD replace = existing == platform::TargetState::kIdentical ? MOVEFILE_REPLACE_EXISTING : 0;
  if (!platform::MoveFileExW(item.subkey, target, replace)) {
    if (platform::GetLastError() != ERROR_NOT_SAME_DEVICE) return -1;
    if (!platform::CopyFileW(item.subkey, target, FALSE)) return -1;
    if (!DeleteFileOrGone(item.subkey)) return -1;
  }
  wtext::Copy(item.subkey, target);
  return 0;
}

}  // namespace

int DisableFileItem(CommandItem& item) {
  if (!MayTakeFile(item)) return -1;
  char16_t folder[kFilePathUnits] = {};
  if (!DisabledFilesFolder(folder, kFilePathUnits)) return -1;
  // The module's state folder may not exist yet in this image (Linux keeps
  // it inside the image); its parent is always there.
  char16_t stateFolder[kFilePathUnits] = {};
  wtext::Copy(stateFolder, folder);
  if (char16_t* slash = const_cast<char16_t*>(wtext::FindLastChar(stateFolder, u'\\'))) *slash = 0;
  platform::CreateDirectoryW(stateFolder, nullptr);
  if (!platform::CreateDirectoryW(folder, nullptr) &&
      platform::GetLastError() != ERROR_ALREADY_EXISTS)
    return -1;
  return MoveFileTo(item, folder);
}

int EnableFileItem(CommandItem& item) {
  if (!MayTakeFile(item)) return -1;
  char16_t folder[MAX_PATH];
  if (!StartupFolderPath(CSIDL_STARTUP, folder)) return -1;
  return MoveFileTo(item, folder);
}

int DeleteFileItem(CommandItem& item) {
  if (!MayTakeFile(item)) return -1;
  return DeleteFileOrGone(item.subkey) ? 0 : -1;
}
