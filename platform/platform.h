// The operations that the module calls on the registry, the shell folders, the
// file system, version resources, COM and the user interface — and nothing
// else. Names, arguments, result codes and error codes are those of Win32.
//
// Text is UTF-16 in char16_t units on every target. The Windows backend
// (platform/windows) forwards to the real API; the Linux backend
// (platform/linux) emulates it over a Windows system image laid out like a
// Wine prefix (see platform/linux/system_image.h).
#pragma once

#include "platform/win32_types.h"

namespace platform {

// Directory entry as FindFirstFileW/FindNextFileW deliver it; the module reads
// only the attributes and the name.
struct FindDataW {
  DWORD dwFileAttributes;
  char16_t cFileName[MAX_PATH];
};

// ---------------------------------------------------------------- registry
LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExW(HKEY root, const char16_t* subKey, DWORD reserved, char16_t* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition);
LONG RegCloseKey(HKEY key);
// nameLength is in characters (in: buffer size with terminator; out: length
// without terminator); dataLength in bytes. ERROR_MORE_DATA when either
// buffer is too small, ERROR_NO_MORE_ITEMS past the last value.
LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataLength);
LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                   char16_t* keyClass, DWORD* classLength, void* lastWriteTime);
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataLength);
LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD dataLength);
LONG RegDeleteValueW(HKEY key, const char16_t* valueName);
// SHDeleteValueW and SHDeleteKeyW open their key without a view flag: a
// 32-bit module on 64-bit Windows reaches the 32-bit view through them. The
// module's logic opens keys with KEY_WOW64_64KEY and deletes values with
// RegDeleteValueW instead.
LONG SHDeleteValueW(HKEY root, const char16_t* subKey, const char16_t* valueName);
LONG SHDeleteKeyW(HKEY root, const char16_t* subKey);
// Deletes subKey of key with everything below it, in the view key was
// opened in; with a null or empty subKey, only what lies below key (its
// sub-keys and values) goes. This is the module's way to delete a key.
LONG RegDeleteTreeW(HKEY key, const char16_t* subKey);
// Groups the registry changes the calling thread makes until the matching
// EndRegistryTransaction, so that a move of a value (written to its new key,
// deleted from the old one) is saved whole or not at all. The Linux backend
// keeps the changes in memory, holds the image's lock meanwhile and saves each
// changed registry file once at the end; commit false, or a change that
// failed inside the group, drops them all. The Windows registry applies each
// change as it is made: there both calls do nothing and End answers TRUE.
// End answers FALSE when the changes could not be saved (nothing of them is
// then kept).
void BeginRegistryTransaction();
BOOL EndRegistryTransaction(BOOL commit);

// ------------------------------------------------------ shell folders, files
BOOL SHGetSpecialFolderPathW(HWND owner, char16_t* path, int csidl, BOOL create);
HANDLE FindFirstFileW(const char16_t* pattern, FindDataW* data);
BOOL FindNextFileW(HANDLE find, FindDataW* data);
BOOL FindClose(HANDLE find);
HANDLE CreateFileW(const char16_t* path, DWORD access, DWORD share, void* security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
// The identity fields of BY_HANDLE_FILE_INFORMATION: two handles name the
// same file when all three are equal (on Linux: device and inode).
struct ByHandleFileInformation {
  DWORD dwVolumeSerialNumber;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
BOOL GetFileInformationByHandle(HANDLE file, ByHandleFileInformation* information);
// Synchronous reads and writes of a file handle (overlapped must be null).
// ReadFile reports 0 bytes at the end of the file.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD SearchPathW(const char16_t* searchPath, const char16_t* fileName, const char16_t* extension,
                  DWORD bufferLength, char16_t* buffer, char16_t** filePart);
DWORD ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination, DWORD size);
UINT GetWindowsDirectoryW(char16_t* buffer, UINT size);
DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size);
// The folder, with a trailing backslash, where the module keeps what it
// writes for itself (the disabled startup files): on Windows the module's
// own folder; on Linux the same when that lies inside the image, else
// C:\ProgramData\Runvane\ of the image, so that every image keeps its own
// state and nothing outside the image is written. Returns the length, 0 on
// failure, or the units needed (with terminator) when size is too small.
DWORD GetModuleStateFolderW(char16_t* buffer, DWORD size);
BOOL CopyFileW(const char16_t* source, const char16_t* destination, BOOL failIfExists);
BOOL DeleteFileW(const char16_t* path);
// Renames a file; with MOVEFILE_REPLACE_EXISTING over an existing file, which
// is replaced (a symbolic link there is replaced itself, never followed).
BOOL MoveFileExW(const char16_t* existing, const char16_t* replacement, DWORD flags);
BOOL CreateDirectoryW(const char16_t* path, void* security);
BOOL RemoveDirectoryW(const char16_t* path);

// File-system redirection of a 32-bit process on 64-bit Windows (System32 is
// sent to SysWOW64), switched off and back on for the calling thread. Where
// there is no redirection (a 64-bit process, 32-bit Windows, the Linux
// backend, whose image is literal) Disable answers FALSE and the caller
// reads as it would anyway; Revert is called only after a successful
// Disable, with the value it gave.
BOOL Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Wow64RevertWow64FsRedirection(void* oldValue);

// --------------------------------------------------------- version resources
DWORD GetFileVersionInfoSizeW(const char16_t* path, DWORD* handle);
BOOL GetFileVersionInfoW(const char16_t* path, DWORD handle, DWORD length, void* data);
BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length);

// -------------------------------------------------------------- miscellany
void GetLocalTime(SYSTEMTIME* time);
DWORD GetLastError();
void SetLastError(DWORD error);
// On Linux the text goes to standard error and the answer is IDOK (1).
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// The instance handle of the module that contains this code (the DLL or .so
// that the host loaded, or the test program the logic is linked into).
HMODULE ThisModule();

// Test seam: test programs link the logic statically, so the "module" would
// be the test program itself. A non-empty path set here is what
// GetModuleFileNameW answers for ThisModule() from then on; null or empty
// restores the real answer. The modules never call it.
void SetModuleFileNameForTesting(const char16_t* path);

// lstrcmpiW: compares ignoring letter case, as the system's locale does.
int lstrcmpiW(const char16_t* a, const char16_t* b);

}  // namespace platform
