// The Linux backend's Windows system image: a folder laid out like a Wine
// prefix (system.reg, user.reg, drive_c/, dosdevices/). These calls choose
// the image and map between its Windows paths and host paths.
#pragma once

#include <string>

namespace platform {
namespace image {

// Makes the image at hostRoot current for every later platform operation.
// An empty root means: RUNVANE_SYSTEM_ROOT, else WINEPREFIX, else ~/.wine.
void SetRoot(const std::string& hostRoot);
// The host path of the current image's root.
std::string Root();

// Creates a minimal image at hostRoot: registry files with the shell-folder
// and environment values a fresh Wine prefix has, and the drive_c folders
// they name. False when it cannot be written.
bool CreateImage(const std::string& hostRoot);

// Host path for a Windows path of the current image ("" when the path has no
// drive the image maps). Existing components are matched ignoring case.
std::string HostPath(const char16_t* windowsPath);
// Windows path for a host path: C:\... inside drive_c, else Z:\...
std::u16string WindowsPath(const std::string& hostPath);

// Fault injection for crash-consistency tests: from now on, the k-th
// platform operation (counting from 1) fails as a Win32 call fails (registry
// calls return ERROR_CANTWRITE / file calls FALSE with ERROR_ACCESS_DENIED)
// and changes nothing; the calls after it work again. 0 turns injection off.
// OperationsSoFar counts calls since the last reset. Counted: every Reg* and
// SH* call except RegCloseKey, the Find*, CreateFileW, GetFileSize,
// ReadFile, WriteFile,
// CopyFileW, DeleteFileW, CreateDirectoryW and RemoveDirectoryW calls,
// SearchPathW, ExpandEnvironmentStringsW, GetWindowsDirectoryW and
// GetModuleFileNameW; closing calls, last-error calls and version-resource
// calls are not counted.
//
// Registry writes also fail (ERROR_SHARING_VIOLATION) while a Wine server
// owns the image: the server would overwrite the files when it saves.
void FailOperationAt(long k);
long OperationsSoFar();
void ResetOperationCount();

}  // namespace image
}  // namespace platform
