#include "platform/platform.h"
#include "platform/handles.h"
#include "tests/support/test_system.h"

namespace testsys {

bool SetRegString(HKEY root, const std::u16string& key, const std::u16string& name,
                  const std::u16string& value, unsigned type) {
  platform::ScopedKey handle;
  if (platform::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                handle.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  return platform::RegSetValueExW(handle.get(), name.c_str(), 0, type,
                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * 2)) == ERROR_SUCCESS;
}

bool DeleteRegKey(HKEY root, const std::u16string& key) {
  LONG r = platform::SHDeleteKeyW(root, key.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

std::u16string ModulePath() {
  char16_t buffer[MAX_PATH] = {};
  platform::GetModuleFileNameW(platform::ThisModule(), buffer, MAX_PATH);
  return buffer;
}

std::u16string ModuleFolder() {
  std::u16string path = ModulePath();
  size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace testsys
