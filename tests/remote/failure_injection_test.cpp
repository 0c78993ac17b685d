// Every platform call an operation makes is made to fail in turn; whatever
// the operation answers, the item must still exist somewhere (enabled,
// disabled, or as a record with its saved copy) unless a delete succeeded.
// Fault injection is a feature of the system image, so this runs on Linux.
#ifndef _WIN32

#include <cctype>
#include <ostream>
#include <string>

#include "platform/linux/system_image.h"
#include "remote/file_item_ops.h"
#include "remote/msconfig_entries.h"
#include "remote/registry_item_ops.h"
#include "tests/remote/ops_support.h"

namespace opstest {
namespace {

const char16_t kCommand[] = u"c:\\tool.exe /min";
const char kBytes[] = "startup shortcut";

std::u16string UserFile() { return UserStartup() + u"\\Tool.lnk"; }
std::u16string DisabledFile() { return DisabledFolder() + u"\\Tool.lnk"; }
std::u16string Backup() { return testsys::ScratchFolder() + u"\\Tool.lnk.backup"; }
std::u16string RegRecord() { return std::u16string(kMsconfigReg) + u"\\Tool"; }
std::u16string FolderRecord() { return std::u16string(kMsconfigFolder) + u"\\Tool"; }

bool RunValueThere() { return ValueText(HKEY_CURRENT_USER, kRun, u"Tool") == kCommand; }
bool DisabledValueThere() {
  return ValueText(HKEY_CURRENT_USER, kRunDisabled, u"Tool") == u"rem " + std::u16string(kCommand);
}
bool FileHolds(const std::u16string& path) { return FileText(path) == kBytes; }
bool RegRecordThere() { return ValueText(HKEY_LOCAL_MACHINE, RegRecord(), u"command") == kCommand; }
bool FolderRecordThere() {
  return ValueText(HKEY_LOCAL_MACHINE, FolderRecord(), u"backup") == Backup() && FileHolds(Backup());
}

struct Scenario {
  const char* what;
  void (*setup)();
  CommandItem (*item)();
  int (*operation)(CommandItem&);
  bool deletes;
  bool (*present)();  // the item exists somewhere
  bool (*done)();     // the operation's whole effect, required when it answers 0
};

CommandItem RunItem() { return MakeItem(u"Tool", u"HKEY_CURRENT_USER", kRun, 1); }
CommandItem DisabledRunItem() { return MakeItem(u"Tool", u"HKEY_CURRENT_USER", kRunDisabled, 1); }
CommandItem UserFileItem() { return MakeItem(u"Tool.lnk", u"", UserFile(), 12); }
CommandItem DisabledFileItem_() { return MakeItem(u"Tool.lnk", u"", DisabledFile(), 11); }
CommandItem RegRecordItem() { return MakeItem(u"Tool", u"HKEY_CURRENT_USER", kRun, 100); }
CommandItem FolderRecordItem() { return MakeItem(u"Tool.lnk", u"", UserFile(), 101); }

void SetRunValue() { ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Tool", kCommand)); }
void SetDisabledValue() {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Tool",
                                    u"rem " + std::u16string(kCommand)));
}
void SetUserFile() { ASSERT_TRUE(testsys::WriteFileBytes(UserFile(), kBytes)); }
void SetDisabledFile() { ASSERT_TRUE(testsys::WriteFileBytes(DisabledFile(), kBytes)); }
void SetRegRecord() {
  // The Run key exists (with another value) so that the restore can work.
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Other", u"c:\\other.exe"));
  AddRegRecord(u"Tool", u"Tool", kCommand, u"HKCU", kRun);
}
void SetFolderRecord() {
  ASSERT_TRUE(testsys::WriteFileBytes(Backup(), kBytes));
  AddFolderRecord(u"Tool", u"Tool.lnk", UserFile(), Backup());
}

const Scenario kScenarios[] = {
    {"disable a Run value", SetRunValue, RunItem, DisableRegistryItem, false,
     [] { return RunValueThere() || DisabledValueThere(); },
     [] { return DisabledValueThere() && !ValueExists(HKEY_CURRENT_USER, kRun, u"Tool"); }},
    {"enable a Run value", SetDisabledValue, DisabledRunItem, EnableRegistryItem, false,
     [] { return RunValueThere() || DisabledValueThere(); },
     [] { return RunValueThere() && !ValueExists(HKEY_CURRENT_USER, kRunDisabled, u"Tool"); }},
    {"delete a Run value", SetRunValue, RunItem, DeleteRegistryItem, true, RunValueThere,
     [] { return !ValueExists(HKEY_CURRENT_USER, kRun, u"Tool"); }},
    {"disable a startup file", SetUserFile, UserFileItem, DisableFileItem, false,
     [] { return FileHolds(UserFile()) || FileHolds(DisabledFile()); },
     [] { return FileHolds(DisabledFile()) && !testsys::FileExists(UserFile()); }},
    {"enable a disabled file", SetDisabledFile, DisabledFileItem_, EnableFileItem, false,
     [] { return FileHolds(UserFile()) || FileHolds(DisabledFile()); },
     [] { return FileHolds(UserFile()) && !testsys::FileExists(DisabledFile()); }},
    {"delete a startup file", SetUserFile, UserFileItem, DeleteFileItem, true,
     [] { return FileHolds(UserFile()); }, [] { return !testsys::FileExists(UserFile()); }},
    {"enable a registry record", SetRegRecord, RegRecordItem, EnableStartupRegEntry, false,
     [] { return RunValueThere() || RegRecordThere(); },
     [] { return RunValueThere() && !KeyExists(HKEY_LOCAL_MACHINE, RegRecord()); }},
    {"delete a registry record", SetRegRecord, RegRecordItem, DeleteStartupRegEntry, true,
     RegRecordThere, [] { return !KeyExists(HKEY_LOCAL_MACHINE, RegRecord()); }},
    {"enable a folder record", SetFolderRecord, FolderRecordItem, EnableStartupFolderEntry, false,
     [] { return FileHolds(UserFile()) || FolderRecordThere(); },
     [] { return FileHolds(UserFile()) && !KeyExists(HKEY_LOCAL_MACHINE, FolderRecord()); }},
    {"delete a folder record", SetFolderRecord, FolderRecordItem, DeleteStartupFolderEntry, true,
     FolderRecordThere, [] { return !KeyExists(HKEY_LOCAL_MACHINE, FolderRecord()); }},
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.what; }

// "disable a Run value" -> "DisableARunValue"
std::string TestName(const ::testing::TestParamInfo<Scenario>& info) {
  std::string name;
  bool upper = true;
  for (const char* c = info.param.what; *c != 0; ++c) {
    if (*c == ' ') {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
    upper = false;
  }
  return name;
}

class FailureInjectionTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void TearDown() override { platform::image::FailOperationAt(0); }
};

TEST_P(FailureInjectionTest, ItemSurvivesAFailureAtEveryStep) {
  const Scenario& scenario = GetParam();
  long steps = 0;
  {
    testsys::CleanSystem system;
    PrepareFolders();
    scenario.setup();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    CommandItem item = scenario.item();
    platform::image::ResetOperationCount();
    ASSERT_EQ(0, scenario.operation(item)) << scenario.what << " works without failures";
    EXPECT_TRUE(scenario.done());
    steps = platform::image::OperationsSoFar();
  }
  ASSERT_GT(steps, 0);
  for (long k = 1; k <= steps; ++k) {
    testsys::CleanSystem system;
    PrepareFolders();
    scenario.setup();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    CommandItem item = scenario.item();
    platform::image::FailOperationAt(k);
    int result = scenario.operation(item);
    platform::image::FailOperationAt(0);
    if (result == 0) {
      EXPECT_TRUE(scenario.done()) << scenario.what << ": call " << k << " of " << steps
                                   << " failed, yet the operation reported success";
    }
    if (scenario.deletes && result == 0) continue;
    EXPECT_TRUE(scenario.present())
        << scenario.what << ": call " << k << " of " << steps << " failed, result " << result;
  }
}

INSTANTIATE_TEST_SUITE_P(AllOperations, FailureInjectionTest, ::testing::ValuesIn(kScenarios),
                         TestName);

}  // namespace
}  // namespace opstest

#endif  // _WIN32
