#include "tests/remote/ops_support.h"

#include <cstring>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace opstest {

const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunDisabled[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\TidyraDisable";
const char16_t kMsconfigReg[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const char16_t kMsconfigFolder[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

CommandItem MakeItem(const std::u16string& name, const std::u16string& mainkey,
                     const std::u16string& subkey, int type) {
  CommandItem item;
  std::memset(&item, 0, sizeof item);
  wtext::Copy(item.name, name);
  wtext::Copy(item.mainkey, mainkey);
  wtext::Copy(item.subkey, subkey);
  item.type = type;
  return item;
}

bool ReadValue(HKEY root, const std::u16string& key, const std::u16string& name,
               StoredValue* value) {
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return false;
  // The size first, so that a value of any length is read whole.
  DWORD size = 0;
  DWORD type = 0;
  if (platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS)
    return false;
  std::vector<BYTE> data(size + 2);
  size = static_cast<DWORD>(data.size());
  if (platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, data.data(), &size) !=
      ERROR_SUCCESS)
    return false;
  value->type = type;
  value->bytes.assign(reinterpret_cast<const char*>(data.data()), size);
  return true;
}

bool ValueExists(HKEY root, const std::u16string& key, const std::u16string& name) {
  StoredValue ignored;
  return ReadValue(root, key, name, &ignored);
}

std::u16string ValueText(HKEY root, const std::u16string& key, const std::u16string& name) {
  StoredValue value;
  if (!ReadValue(root, key, name, &value)) return u"";
  std::u16string text(value.bytes.size() / 2, u'\0');
  std::memcpy(&text[0], value.bytes.data(), text.size() * 2);
  return text.substr(0, text.find(u'\0'));
}

bool KeyExists(HKEY root, const std::u16string& key) {
  platform::ScopedKey handle;
  return platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive()) ==
         ERROR_SUCCESS;
}

std::map<std::u16string, StoredValue> KeyValues(HKEY root, const std::u16string& key) {
  std::map<std::u16string, StoredValue> values;
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return values;
  for (DWORD index = 0;; ++index) {
    char16_t name[512] = {};
    DWORD nameLength = 512;
    BYTE data[4096] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG result = platform::RegEnumValueW(handle.get(), index, name, &nameLength, nullptr, &type,
                                          data, &size);
    if (result != ERROR_SUCCESS) break;
    StoredValue& value = values[name];
    value.type = type;
    value.bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  return values;
}

Snapshot& Snapshot::Key(HKEY root, const std::u16string& key) {
  keyNames_.emplace_back(root, key);
  return *this;
}

Snapshot& Snapshot::File(const std::u16string& path) {
  fileNames_.push_back(path);
  return *this;
}

void Snapshot::Take() {
  keys_.clear();
  files_.clear();
  for (const auto& key : keyNames_) keys_.push_back(KeyValues(key.first, key.second));
  for (const auto& path : fileNames_) {
    std::string bytes;
    bool present = testsys::ReadFileBytes(path, &bytes);
    files_.emplace_back(present, present ? bytes : std::string());
  }
}

std::string Snapshot::Describe() const {
  std::string out;
  for (size_t i = 0; i < keys_.size() && i < keyNames_.size(); ++i) {
    out += Utf8(keyNames_[i].second) + ":";
    for (const auto& value : keys_[i]) out += " [" + Utf8(value.first) + "]";
    out += "\n";
  }
  for (size_t i = 0; i < files_.size() && i < fileNames_.size(); ++i)
    out += Utf8(fileNames_[i]) + (files_[i].first ? " present\n" : " absent\n");
  return out;
}

namespace {
std::u16string ShellFolder(int csidl) {
  char16_t path[MAX_PATH + 1] = {};
  platform::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}
}  // namespace

std::u16string UserStartup() { return ShellFolder(CSIDL_STARTUP); }
std::u16string CommonStartup() { return ShellFolder(CSIDL_COMMON_STARTUP); }
std::u16string DisabledFolder() { return testsys::ModuleFolder() + u"TidyraDisableFile"; }

std::string Utf8(const std::u16string& text) { return wtext::ToUtf8(text); }

std::string FileText(const std::u16string& path) {
  std::string bytes;
  return testsys::ReadFileBytes(path, &bytes) ? bytes : std::string();
}

void AddRegRecord(const std::u16string& entry, const std::u16string& item,
                  const std::u16string& command, const std::u16string& hkey,
                  const std::u16string& key) {
  std::u16string path = std::u16string(kMsconfigReg) + u"\\" + entry;
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, path, u"item", item));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, path, u"command", command));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, path, u"hkey", hkey));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, path, u"key", key));
}

void AddFolderRecord(const std::u16string& entry, const std::u16string& item,
                     const std::u16string& path, const std::u16string& backup) {
  std::u16string key = std::u16string(kMsconfigFolder) + u"\\" + entry;
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, key, u"item", item));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, key, u"command", path));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, key, u"path", path));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, key, u"backup", backup));
}

void PrepareFolders() {
  ASSERT_FALSE(UserStartup().empty()) << "the current user's startup folder is known";
  ASSERT_FALSE(CommonStartup().empty()) << "the all-users startup folder is known";
  ASSERT_TRUE(testsys::MakeFolders(UserStartup()));
  ASSERT_TRUE(testsys::MakeFolders(CommonStartup()));
  ASSERT_TRUE(testsys::MakeFolders(testsys::ScratchFolder()));
}

void OpsTest::SetUp() { PrepareFolders(); }

}  // namespace opstest
