// Small host file-system helpers of the Linux backend and the mapping of
// errno values to the Win32 errors the file operations report.
#include <errno.h>
#include <sys/stat.h>

#include "platform/linux/backend.h"

namespace platform {
namespace backend {

std::string ParentOf(const std::string& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

bool IsDirectory(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0;
}

bool MakeDirectories(const std::string& hostPath) {
  if (hostPath.empty()) return false;
  if (IsDirectory(hostPath)) return true;
  std::string parent = ParentOf(hostPath);
  if (parent != hostPath && !MakeDirectories(parent)) return false;
  return mkdir(hostPath.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(hostPath));
}

DWORD ErrorFromErrno(int error, const std::string& hostPath) {
  switch (error) {
    case ENOENT:
      // Windows tells a missing file from a missing folder on its way.
      return IsDirectory(ParentOf(hostPath)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
      return ERROR_BUSY;
    case EACCES:
    case EPERM:
    case EISDIR:
    default:
      return ERROR_ACCESS_DENIED;
  }
}

}  // namespace backend
}  // namespace platform
