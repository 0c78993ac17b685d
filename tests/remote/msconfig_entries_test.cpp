// Enable and delete of items the system configuration utility disabled:
// which record is used, and that a failed restore keeps the record.
#include <string>

#include "platform/platform.h"
#include "remote/msconfig_entries.h"
#include "tests/remote/ops_support.h"

namespace opstest {
namespace {

const std::u16string kCU = u"HKEY_CURRENT_USER";

class MsconfigTest : public OpsTest {
 protected:
  std::u16string RegRecord(const std::u16string& entry) {
    return std::u16string(kMsconfigReg) + u"\\" + entry;
  }
  std::u16string FolderRecord(const std::u16string& entry) {
    return std::u16string(kMsconfigFolder) + u"\\" + entry;
  }
  // A saved copy in the scratch folder and its record restoring it into
  // the current user's startup folder.
  void SavedFile(const std::u16string& entry, const std::u16string& name,
                 const std::string& bytes) {
    backup_ = testsys::ScratchFolder() + u"\\" + name + u".backup";
    target_ = UserStartup() + u"\\" + name;
    ASSERT_TRUE(testsys::WriteFileBytes(backup_, bytes));
    AddFolderRecord(entry, name, target_, backup_);
  }
  std::u16string backup_;
  std::u16string target_;
};

TEST_F(MsconfigTest, EnableRestoresTheRunValueAndRemovesTheRecord) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Other", u"c:\\other.exe"));
  AddRegRecord(u"Tool", u"Tool", u"c:\\tool.exe /quiet", u"HKCU", kRun);
  CommandItem item = MakeItem(u"Tool", kCU, kRun, 100);
  ASSERT_EQ(0, EnableStartupRegEntry(item));
  EXPECT_EQ(u"c:\\tool.exe /quiet", ValueText(HKEY_CURRENT_USER, kRun, u"Tool"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Tool")));
  EXPECT_EQ(std::u16string(kRun), item.subkey);
  EXPECT_EQ(100, item.type) << "the dispatcher, not the operation, changes the type";
}

// A command line longer than any field comes back whole; a record that
// holds sub-keys of its own is deleted with them.
TEST_F(MsconfigTest, LongCommandIsRestoredWholeAndTheRecordGoesWithItsSubKeys) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Other", u"c:\\other.exe"));
  const std::u16string command = u"c:\\tool.exe " + std::u16string(600, u'p');
  AddRegRecord(u"Long", u"Long", command, u"HKCU", kRun);
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, RegRecord(u"Long") + u"\\Extra", u"x", u"y"));
  CommandItem item = MakeItem(u"Long", kCU, kRun, 100);
  ASSERT_EQ(0, EnableStartupRegEntry(item));
  EXPECT_EQ(command, ValueText(HKEY_CURRENT_USER, kRun, u"Long"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Long")));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMsconfigReg)) << "only the record is deleted";
}

TEST_F(MsconfigTest, OnlyOneOfTwoRecordsWithTheSameItemIsHandled) {
  AddRegRecord(u"First", u"Tool", u"c:\\tool.exe", u"HKCU", kRun);
  AddRegRecord(u"Second", u"Tool", u"c:\\tool.exe", u"HKCU", kRun);
  CommandItem item = MakeItem(u"Tool", kCU, kRun, 100);
  ASSERT_EQ(0, DeleteStartupRegEntry(item));
  bool first = KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"First"));
  bool second = KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Second"));
  EXPECT_NE(first, second) << "exactly one record remains";
  ASSERT_EQ(0, DeleteStartupRegEntry(item));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"First")));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Second")));
  EXPECT_EQ(-1, DeleteStartupRegEntry(item)) << "no record left";
}

TEST_F(MsconfigTest, ItemDifferingOnlyInCaseIsNotFound) {
  AddRegRecord(u"Tool", u"Tool", u"c:\\tool.exe", u"HKCU", kRun);
  SavedFile(u"Pad", u"Pad.lnk", "pad");
  Snapshot before;
  before.Key(HKEY_LOCAL_MACHINE, RegRecord(u"Tool")).Key(HKEY_CURRENT_USER, kRun);
  before.Key(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad")).File(backup_).File(target_);
  before.Take();
  CommandItem reg = MakeItem(u"TOOL", kCU, kRun, 100);
  CommandItem file = MakeItem(u"pad.lnk", u"", u"", 101);
  EXPECT_EQ(-1, EnableStartupRegEntry(reg));
  EXPECT_EQ(-1, DeleteStartupRegEntry(reg));
  EXPECT_EQ(-1, EnableStartupFolderEntry(file));
  EXPECT_EQ(-1, DeleteStartupFolderEntry(file));
  Snapshot after = before;
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();
}

TEST_F(MsconfigTest, EnableWritesOnlyIntoARunKey) {
  // Existing keys that are no Run key: the command file must not aim the
  // restored value there.
  const std::u16string notRun[] = {u"Software\\Classes\\exefile\\shell\\open\\command",
                                   u"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\TidyraDisable",
                                   u"Environment"};
  for (const std::u16string& key : notRun) {
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, key, u"keep", u"x")) << Utf8(key);
    AddRegRecord(u"Evil", u"Evil", u"c:\\evil.exe", u"HKCU", key);
    CommandItem item = MakeItem(u"Evil", kCU, key, 100);
    EXPECT_EQ(-1, EnableStartupRegEntry(item)) << Utf8(key);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, u"Evil")) << Utf8(key);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Evil"))) << "the record stays";
  }
}

TEST_F(MsconfigTest, FailedRegistryRestoreKeepsTheRecord) {
  const std::u16string missingKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, missingKey));
  AddRegRecord(u"Svc", u"Svc", u"c:\\svc.exe", u"HKCU", missingKey);
  AddRegRecord(u"Odd", u"Odd", u"c:\\odd.exe", u"hkcu", kRun);
  Snapshot before;
  before.Key(HKEY_LOCAL_MACHINE, RegRecord(u"Svc")).Key(HKEY_LOCAL_MACHINE, RegRecord(u"Odd"));
  before.Take();

  CommandItem svc = MakeItem(u"Svc", kCU, missingKey, 100);
  EXPECT_EQ(-1, EnableStartupRegEntry(svc)) << "the Run key is not created";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, missingKey));
  // A record whose root the listing could not name comes with an empty mainkey.
  CommandItem odd = MakeItem(u"Odd", u"", kRun, 100);
  EXPECT_EQ(-1, EnableStartupRegEntry(odd));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, u"Odd"));

  Snapshot after = before;
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();
  EXPECT_EQ(u"c:\\svc.exe", ValueText(HKEY_LOCAL_MACHINE, RegRecord(u"Svc"), u"command"));
}

TEST_F(MsconfigTest, RecordWithoutCommandIsNotRestoredAsAnEmptyValue) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, RegRecord(u"Bare"), u"item", u"Bare"));
  CommandItem item = MakeItem(u"Bare", kCU, kRun, 100);
  EXPECT_EQ(-1, EnableStartupRegEntry(item));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, u"Bare"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RegRecord(u"Bare")));
  EXPECT_EQ(0, DeleteStartupRegEntry(item)) << "it can still be deleted";
}

TEST_F(MsconfigTest, FolderEnableRestoresTheFileAndRemovesCopyAndRecord) {
  SavedFile(u"Pad", u"Pad.lnk", "pad bytes");
  CommandItem item = MakeItem(u"Pad.lnk", u"", target_, 101);
  ASSERT_EQ(0, EnableStartupFolderEntry(item));
  EXPECT_EQ("pad bytes", FileText(target_));
  EXPECT_FALSE(testsys::FileExists(backup_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad")));
}

TEST_F(MsconfigTest, FolderEnableWithoutItsSavedCopyKeepsTheRecord) {
  SavedFile(u"Pad", u"Pad.lnk", "pad");
  ASSERT_TRUE(testsys::FileExists(backup_));
  CommandItem gone = MakeItem(u"Gone.lnk", u"", u"", 101);
  AddFolderRecord(u"Gone", u"Gone.lnk", UserStartup() + u"\\Gone.lnk",
                  testsys::ScratchFolder() + u"\\never-saved.lnk");
  EXPECT_EQ(-1, EnableStartupFolderEntry(gone));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, FolderRecord(u"Gone")));
  EXPECT_FALSE(testsys::FileExists(UserStartup() + u"\\Gone.lnk"));
}

TEST_F(MsconfigTest, FolderEnableNeverReplacesADifferentFile) {
  SavedFile(u"Pad", u"Pad.lnk", "the saved program");
  ASSERT_TRUE(testsys::WriteFileBytes(target_, "a newer program"));
  Snapshot before;
  before.Key(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad")).File(backup_).File(target_);
  before.Take();
  CommandItem item = MakeItem(u"Pad.lnk", u"", target_, 101);
  EXPECT_EQ(-1, EnableStartupFolderEntry(item));
  Snapshot after = before;
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();

  // An identical file there is an earlier restore; finishing it is safe.
  ASSERT_TRUE(testsys::WriteFileBytes(target_, "the saved program"));
  EXPECT_EQ(0, EnableStartupFolderEntry(item));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad")));
  EXPECT_EQ("the saved program", FileText(target_));
}

TEST_F(MsconfigTest, FolderDeleteRemovesRecordAndCopyEvenWhenTheCopyIsGone) {
  SavedFile(u"Pad", u"Pad.lnk", "pad");
  CommandItem item = MakeItem(u"Pad.lnk", u"", target_, 101);
  ASSERT_EQ(0, DeleteStartupFolderEntry(item));
  EXPECT_FALSE(testsys::FileExists(backup_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad")));
  EXPECT_FALSE(testsys::FileExists(target_));

  SavedFile(u"Pad2", u"Pad.lnk", "pad");
  ASSERT_TRUE(platform::DeleteFileW(backup_.c_str()));
  EXPECT_EQ(0, DeleteStartupFolderEntry(item)) << "saved copy already gone";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FolderRecord(u"Pad2")));
}

}  // namespace
}  // namespace opstest
