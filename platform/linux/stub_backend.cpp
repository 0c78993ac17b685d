// PLACEHOLDER: every operation fails until the system-image backend lands.
#include "platform/platform.h"

namespace platform {
static thread_local DWORD g_lastError = 0;
LONG RegOpenKeyExW(HKEY, const char16_t*, DWORD, REGSAM, HKEY*) { return ERROR_FILE_NOT_FOUND; }
LONG RegCreateKeyExW(HKEY, const char16_t*, DWORD, char16_t*, DWORD, REGSAM, void*, HKEY*, DWORD*) { return ERROR_ACCESS_DENIED; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
LONG RegEnumValueW(HKEY, DWORD, char16_t*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*) { return ERROR_NO_MORE_ITEMS; }
LONG RegEnumKeyExW(HKEY, DWORD, char16_t*, DWORD*, DWORD*, char16_t*, DWORD*, void*) { return ERROR_NO_MORE_ITEMS; }
LONG RegQueryValueExW(HKEY, const char16_t*, DWORD*, DWORD*, BYTE*, DWORD*) { return ERROR_FILE_NOT_FOUND; }
LONG RegSetValueExW(HKEY, const char16_t*, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG SHDeleteValueW(HKEY, const char16_t*, const char16_t*) { return ERROR_FILE_NOT_FOUND; }
LONG SHDeleteKeyW(HKEY, const char16_t*) { return ERROR_FILE_NOT_FOUND; }
BOOL SHGetSpecialFolderPathW(HWND, char16_t* path, int, BOOL) { path[0] = 0; return FALSE; }
HANDLE FindFirstFileW(const char16_t*, FindDataW*) { return INVALID_HANDLE_VALUE; }
BOOL FindNextFileW(HANDLE, FindDataW*) { return FALSE; }
BOOL FindClose(HANDLE) { return TRUE; }
HANDLE CreateFileW(const char16_t*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
DWORD GetFileSize(HANDLE, DWORD*) { return INVALID_FILE_SIZE; }
BOOL CloseHandle(HANDLE) { return TRUE; }
DWORD SearchPathW(const char16_t*, const char16_t*, const char16_t*, DWORD, char16_t*, char16_t**) { return 0; }
DWORD ExpandEnvironmentStringsW(const char16_t*, char16_t*, DWORD) { return 0; }
UINT GetWindowsDirectoryW(char16_t*, UINT) { return 0; }
DWORD GetModuleFileNameW(HMODULE, char16_t*, DWORD) { return 0; }
BOOL CopyFileW(const char16_t*, const char16_t*, BOOL) { return FALSE; }
BOOL DeleteFileW(const char16_t*) { g_lastError = ERROR_FILE_NOT_FOUND; return FALSE; }
BOOL CreateDirectoryW(const char16_t*, void*) { return FALSE; }
BOOL RemoveDirectoryW(const char16_t*) { return FALSE; }
void GetLocalTime(SYSTEMTIME* time) { *time = SYSTEMTIME{}; }
DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }
int MessageBoxW(HWND, const char16_t*, const char16_t*, UINT) { return 1; }
HRESULT CoInitialize(void*) { return S_OK; }
void CoUninitialize() {}
HMODULE ThisModule() { return nullptr; }
void SetModuleFileNameForTesting(const char16_t*) {}
int lstrcmpiW(const char16_t* a, const char16_t* b) {
  auto up = [](char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; };
  while (*a && up(*a) == up(*b)) { ++a; ++b; }
  return int(up(*a)) - int(up(*b));
}
}  // namespace platform
