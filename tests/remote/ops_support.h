// Shared set-up and inspection for the item-operation tests: command items,
// registry values and files read back through the platform layer, and the
// folders the operations move files between.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32_types.h"
#include "records/remote_command.h"
#include "tests/support/test_system.h"

namespace opstest {

extern const char16_t kRun[];            // SOFTWARE\...\CurrentVersion\Run
extern const char16_t kRunDisabled[];    // ...\Run\TidyraDisable
extern const char16_t kMsconfigReg[];     // MSConfig startupreg list key
extern const char16_t kMsconfigFolder[];  // MSConfig startupfolder list key

CommandItem MakeItem(const std::u16string& name, const std::u16string& mainkey,
                     const std::u16string& subkey, int type = 1);

// A value as stored: its type and raw bytes.
struct StoredValue {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const StoredValue& o) const { return type == o.type && bytes == o.bytes; }
};
bool ReadValue(HKEY root, const std::u16string& key, const std::u16string& name,
               StoredValue* value);
bool ValueExists(HKEY root, const std::u16string& key, const std::u16string& name);
// The text of a string value (up to its first terminator); "" when absent.
std::u16string ValueText(HKEY root, const std::u16string& key, const std::u16string& name);
bool KeyExists(HKEY root, const std::u16string& key);
// Every value of a key (absent key: empty map).
std::map<std::u16string, StoredValue> KeyValues(HKEY root, const std::u16string& key);

// The registry keys and files one test looks at, captured to prove that a
// refused operation changed nothing.
class Snapshot {
 public:
  Snapshot& Key(HKEY root, const std::u16string& key);
  Snapshot& File(const std::u16string& path);
  // Captures (again) everything registered.
  void Take();
  bool operator==(const Snapshot& o) const { return keys_ == o.keys_ && files_ == o.files_; }
  std::string Describe() const;

 private:
  std::vector<std::pair<HKEY, std::u16string>> keyNames_;
  std::vector<std::u16string> fileNames_;
  std::vector<std::map<std::u16string, StoredValue>> keys_;
  std::vector<std::pair<bool, std::string>> files_;
};

std::u16string UserStartup();
std::u16string CommonStartup();
std::u16string DisabledFolder();
std::string Utf8(const std::u16string& text);
std::string FileText(const std::u16string& path);  // "" when absent

// Writes an MSConfig record under its list key.
void AddRegRecord(const std::u16string& entry, const std::u16string& item,
                  const std::u16string& command, const std::u16string& hkey,
                  const std::u16string& key);
void AddFolderRecord(const std::u16string& entry, const std::u16string& item,
                     const std::u16string& path, const std::u16string& backup);

// Makes both startup folders and the scratch folder exist.
void PrepareFolders();

// A fresh system per test, with both startup folders present.
class OpsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  testsys::CleanSystem system_;
};

}  // namespace opstest
