// Shell folders and file operations.
#include <shlobj.h>

#include "platform/platform.h"
#include "platform/windows/wide.h"
#include "platform/wtext.h"

namespace platform {

using win32::Wide;

namespace {

// Hands the module the two fields it reads of a directory entry.
void ToFindData(const WIN32_FIND_DATAW& source, FindDataW* data) {
  data->dwFileAttributes = source.dwFileAttributes;
  static_assert(sizeof(source.cFileName) / sizeof(source.cFileName[0]) == MAX_PATH,
                "cFileName holds MAX_PATH units");
  wtext::Copy(data->cFileName, reinterpret_cast<const char16_t*>(source.cFileName));
}

}  // namespace

BOOL SHGetSpecialFolderPathW(HWND owner, char16_t* path, int csidl, BOOL create) {
  return ::SHGetSpecialFolderPathW(owner, Wide(path), csidl, create);
}

HANDLE FindFirstFileW(const char16_t* pattern, FindDataW* data) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW(Wide(pattern), &found);
  if (find != INVALID_HANDLE_VALUE) ToFindData(found, data);
  return find;
}

BOOL FindNextFileW(HANDLE find, FindDataW* data) {
  WIN32_FIND_DATAW found;
  if (!::FindNextFileW(find, &found)) return FALSE;
  ToFindData(found, data);
  return TRUE;
}

BOOL FindClose(HANDLE find) { return ::FindClose(find); }

HANDLE CreateFileW(const char16_t* path, DWORD access, DWORD share, void* security,
                   DWORD creation, DWORD flags, HANDLE templateFile) {
  return ::CreateFileW(Wide(path), access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                       creation, flags, templateFile);
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) { return ::GetFileSize(file, sizeHigh); }

BOOL GetFileInformationByHandle(HANDLE file, ByHandleFileInformation* information) {
  BY_HANDLE_FILE_INFORMATION full = {};
  if (information == nullptr || !::GetFileInformationByHandle(file, &full)) return FALSE;
  information->dwVolumeSerialNumber = full.dwVolumeSerialNumber;
  information->nFileIndexHigh = full.nFileIndexHigh;
  information->nFileIndexLow = full.nFileIndexLow;
  return TRUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  return ::ReadFile(file, buffer, toRead, read, static_cast<LPOVERLAPPED>(overlapped));
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  return ::WriteFile(file, buffer, toWrite, written, static_cast<LPOVERLAPPED>(overlapped));
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

DWORD SearchPathW(const char16_t* searchPath, const char16_t* fileName, const char16_t* extension,
                  DWORD bufferLength, char16_t* buffer, char16_t** filePart) {
  return ::SearchPathW(Wide(searchPath), Wide(fileName), Wide(extension), bufferLength,
                       Wide(buffer), reinterpret_cast<wchar_t**>(filePart));
}

DWORD ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination, DWORD size) {
  return ::ExpandEnvironmentStringsW(Wide(source), Wide(destination), size);
}

UINT GetWindowsDirectoryW(char16_t* buffer, UINT size) {
  return ::GetWindowsDirectoryW(Wide(buffer), size);
}

BOOL CopyFileW(const char16_t* source, const char16_t* destination, BOOL failIfExists) {
  return ::CopyFileW(Wide(source), Wide(destination), failIfExists);
}

BOOL DeleteFileW(const char16_t* path) { return ::DeleteFileW(Wide(path)); }

BOOL MoveFileExW(const char16_t* existing, const char16_t* replacement, DWORD flags) {
  return ::MoveFileExW(Wide(existing), Wide(replacement), flags);
}

BOOL CreateDirectoryW(const char16_t* path, void* security) {
  return ::CreateDirectoryW(Wide(path), static_cast<LPSECURITY_ATTRIBUTES>(security));
}

BOOL RemoveDirectoryW(const char16_t* path) { return ::RemoveDirectoryW(Wide(path)); }

}  // namespace platform
