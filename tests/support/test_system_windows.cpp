// The test system on Windows (run under Wine in a throw-away prefix): the
// real registry and file system, with every key and folder that the module
// reads or writes emptied before and after each test.
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/support/test_system.h"

#ifndef RUNVANE_SOURCE_DIR
#error "RUNVANE_SOURCE_DIR must name the source tree"
#endif

namespace testsys {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

const char16_t kModulePath[] = u"C:\\runvane\\runvane.dll";
const char16_t kModuleFolder[] = u"C:\\runvane";
const char16_t kScratchFolder[] = u"C:\\runvane-scratch";
// The Run-type keys, under both roots (a superset of the module's table, kept
// here so that test programs without the module's logic can clean too).
const char16_t* const kRunKeys[] = {
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run",
};
const HKEY kRunRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const char16_t kDisabledSubKey[] = u"\\TidyraDisable";
const char16_t* const kMsconfigKeys[] = {
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg",
    u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder",
};
const int kStartupFolderIds[] = {CSIDL_STARTUP, CSIDL_COMMON_STARTUP};

// Deletes every value of a key (the key itself stays). Names are collected
// first: deleting while enumerating would skip values.
void DeleteAllValues(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  // Paths are literal in every process: SOFTWARE\Wow6432Node is the 32-bit view.
  if (::RegOpenKeyExW(root, reinterpret_cast<const wchar_t*>(path), 0,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return;
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = sizeof(name) / sizeof(name[0]);
    LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, nullptr,
                                  nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.emplace_back(name, nameLength);
  }
  for (const std::wstring& name : names) ::RegDeleteValueW(key, name.c_str());
  ::RegCloseKey(key);
}

// Removes everything inside a folder; the folder itself stays.
void EmptyFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> files, folders;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      folders.push_back(path);
    else
      files.push_back(path);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  for (const std::wstring& path : files) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
  }
  for (const std::wstring& path : folders) {
    EmptyFolder(path);
    ::RemoveDirectoryW(path.c_str());
  }
}

void RecreateEmptyFolder(const char16_t* folder) {
  std::wstring path = reinterpret_cast<const wchar_t*>(folder);
  ::CreateDirectoryW(path.c_str(), nullptr);
  EmptyFolder(path);
}

void Clean() {
  for (HKEY root : kRunRoots) {
    for (const char16_t* path : kRunKeys) {
      DeleteAllValues(root, path);
      ::SHDeleteKeyW(root, Wide(std::u16string(path) + kDisabledSubKey));
    }
  }
  for (const char16_t* key : kMsconfigKeys)
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(key));
  for (int id : kStartupFolderIds) {
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetSpecialFolderPathW(nullptr, folder, id, TRUE)) EmptyFolder(folder);
  }
  RecreateEmptyFolder(kModuleFolder);
  RecreateEmptyFolder(kScratchFolder);
}

std::u16string ParentOf(const std::u16string& path) {
  size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool IsFolder(const std::u16string& path) {
  DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CleanSystem::CleanSystem() {
  Clean();
  platform::SetModuleFileNameForTesting(kModulePath);
}

CleanSystem::~CleanSystem() {
  platform::SetModuleFileNameForTesting(nullptr);
  Clean();
}

bool MakeFolders(const std::u16string& windowsPath) {
  if (windowsPath.empty()) return false;
  if (IsFolder(windowsPath)) return true;
  std::u16string parent = ParentOf(windowsPath);
  // "C:" ends the walk up: a drive is there or it is not.
  if (parent.size() > 2 && !MakeFolders(parent)) return false;
  if (::CreateDirectoryW(Wide(windowsPath), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(windowsPath);
}

bool WriteFileBytes(const std::u16string& windowsPath, const std::string& bytes) {
  std::u16string parent = ParentOf(windowsPath);
  if (!parent.empty() && !MakeFolders(parent)) return false;
  FILE* file = ::_wfopen(Wide(windowsPath), L"wb");
  if (file == nullptr) return false;
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

bool ReadFileBytes(const std::u16string& windowsPath, std::string* bytes) {
  FILE* file = ::_wfopen(Wide(windowsPath), L"rb");
  if (file == nullptr) return false;
  bytes->clear();
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof(block), file)) > 0) bytes->append(block, got);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool FileExists(const std::u16string& windowsPath) {
  return ::GetFileAttributesW(Wide(windowsPath)) != INVALID_FILE_ATTRIBUTES;
}

std::u16string SourceTreePath(const std::string& relative) {
  // Wine maps drive Z: to the host's root folder.
  std::u16string path = wtext::FromUtf8(std::string("Z:") + RUNVANE_SOURCE_DIR + "/" + relative);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

std::u16string ScratchFolder() { return kScratchFolder; }

}  // namespace testsys
