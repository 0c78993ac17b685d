// Disable, enable and delete of Run-key values: the persisted layout, the
// limits, and every refusal leaving the registry as it was.
#include <string>

#include "remote/registry_item_ops.h"
#include "tests/remote/ops_support.h"

namespace opstest {
namespace {

const std::u16string kCU = u"HKEY_CURRENT_USER";
const std::u16string kLM = u"HKEY_LOCAL_MACHINE";

class RegistryItemTest : public OpsTest {
 protected:
  // Registers the Run key and its disabled sub-key of both roots.
  Snapshot RunKeys() {
    Snapshot s;
    s.Key(HKEY_CURRENT_USER, kRun).Key(HKEY_CURRENT_USER, kRunDisabled);
    s.Key(HKEY_LOCAL_MACHINE, kRun).Key(HKEY_LOCAL_MACHINE, kRunDisabled);
    return s;
  }
};

TEST(RootKeyFromNameTest, OnlyTheTwoFullNamesInExactCase) {
  EXPECT_EQ(HKEY_LOCAL_MACHINE, RootKeyFromName(u"HKEY_LOCAL_MACHINE"));
  EXPECT_EQ(HKEY_CURRENT_USER, RootKeyFromName(u"HKEY_CURRENT_USER"));
  for (const char16_t* other : {u"HKLM", u"HKCU", u"hkey_local_machine", u"HKEY_USERS", u"",
                                u"HKEY_CURRENT_USER "})
    EXPECT_EQ(nullptr, RootKeyFromName(other)) << Utf8(other);
  EXPECT_EQ(nullptr, RootKeyFromName(nullptr));
}

TEST_F(RegistryItemTest, ExpandStringKeepsItsTypeWhileDisabledAndWhenEnabled) {
  const std::u16string command = u"%ProgramFiles%\\Tool\\tool.exe -min";
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Tool", command, REG_EXPAND_SZ));

  CommandItem item = MakeItem(u"Tool", kCU, kRun);
  ASSERT_EQ(0, DisableRegistryItem(item));
  EXPECT_EQ(std::u16string(kRunDisabled), item.subkey);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, u"Tool"));
  StoredValue disabled;
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kRunDisabled, u"Tool", &disabled));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), disabled.type) << "the record keeps the string type";
  EXPECT_EQ(u"rem " + command, ValueText(HKEY_CURRENT_USER, kRunDisabled, u"Tool"));

  ASSERT_EQ(0, EnableRegistryItem(item));
  EXPECT_EQ(std::u16string(kRun), item.subkey);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunDisabled, u"Tool"));
  StoredValue restored;
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kRun, u"Tool", &restored));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), restored.type) << "%variables% must expand again";
  EXPECT_EQ(command, ValueText(HKEY_CURRENT_USER, kRun, u"Tool")) << "unexpanded text comes back";

  // A record written as REG_SZ before (the old behaviour) still enables as REG_SZ.
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Old", u"rem " + command));
  CommandItem old = MakeItem(u"Old", kCU, kRunDisabled);
  ASSERT_EQ(0, EnableRegistryItem(old));
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kRun, u"Old", &restored));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), restored.type);
}

// Disabling while a disabled record of the same name exists, or enabling
// while a live value of that name exists: a different value is never
// overwritten, both stay as they were; an identical one may be replaced.
TEST_F(RegistryItemTest, NeitherMoveOverwritesADifferentValueOfTheSameName) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Old Helper", u"C:\\new.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Old Helper", u"rem C:\\old.exe"));
  Snapshot before;
  before.Key(HKEY_CURRENT_USER, kRun).Key(HKEY_CURRENT_USER, kRunDisabled).Take();

  CommandItem live = MakeItem(u"Old Helper", kCU, kRun);
  EXPECT_EQ(-1, DisableRegistryItem(live));
  CommandItem disabled = MakeItem(u"Old Helper", kCU, kRunDisabled);
  EXPECT_EQ(-1, EnableRegistryItem(disabled));
  Snapshot after = before;
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();

  // Same command line and type on both sides: the move completes.
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Old Helper", u"rem C:\\new.exe"));
  EXPECT_EQ(0, DisableRegistryItem(live));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, u"Old Helper"));
  EXPECT_EQ(u"rem C:\\new.exe", ValueText(HKEY_CURRENT_USER, kRunDisabled, u"Old Helper"));
}

// A command line longer than any field (a padded one, or a long list of
// arguments) is disabled and enabled whole: nothing is cut, and the item is
// not refused for its length.
TEST_F(RegistryItemTest, LongDataIsMovedWholeBothWays) {
  const size_t lengths[] = {251, 252, 300, 5000};
  for (size_t i = 0; i < sizeof lengths / sizeof lengths[0]; ++i) {
    const size_t units = lengths[i];
    const std::u16string name = u"Long" + std::u16string(i + 1, u'n');
    const std::u16string command = u"\"C:\\Tools\\run.exe\" " + std::u16string(units, u'x');
    ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, kRun, name, command, REG_EXPAND_SZ));

    CommandItem item = MakeItem(name, kLM, kRun);
    ASSERT_EQ(0, DisableRegistryItem(item)) << units;
    EXPECT_EQ(std::u16string(kRunDisabled), item.subkey);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRun, name));
    EXPECT_EQ(u"rem " + command, ValueText(HKEY_LOCAL_MACHINE, kRunDisabled, name)) << units;

    ASSERT_EQ(0, EnableRegistryItem(item)) << units;
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunDisabled, name));
    StoredValue restored;
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kRun, name, &restored));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), restored.type);
    EXPECT_EQ(command, ValueText(HKEY_LOCAL_MACHINE, kRun, name)) << units;
  }
}

TEST_F(RegistryItemTest, ShortRootNameFailsEveryOperationAndChangesNothing) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, kRun, u"A", u"c:\\a.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, kRunDisabled, u"B", u"rem c:\\b.exe"));
  Snapshot before = RunKeys();
  before.Take();
  CommandItem a = MakeItem(u"A", u"HKLM", kRun);
  CommandItem b = MakeItem(u"B", u"HKLM", kRunDisabled);
  EXPECT_EQ(-1, DisableRegistryItem(a));
  EXPECT_EQ(-1, DeleteRegistryItem(a));
  EXPECT_EQ(-1, EnableRegistryItem(b));
  EXPECT_EQ(-1, DeleteRegistryItem(b));
  Snapshot after = RunKeys();
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();
}

TEST_F(RegistryItemTest, DeleteRemovesEnabledAndDisabledValuesAndAcceptsMissingOnes) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"On", u"c:\\on.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Off", u"rem c:\\off.exe"));
  CommandItem on = MakeItem(u"On", kCU, kRun);
  CommandItem off = MakeItem(u"Off", kCU, kRunDisabled);
  CommandItem gone = MakeItem(u"NeverThere", kCU, kRun);
  EXPECT_EQ(0, DeleteRegistryItem(on));
  EXPECT_EQ(0, DeleteRegistryItem(off));
  EXPECT_EQ(0, DeleteRegistryItem(gone));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, u"On"));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunDisabled, u"Off"));
  EXPECT_EQ(std::u16string(kRun), on.subkey);
}

TEST_F(RegistryItemTest, RunKeyPathsMatchWithoutRegardToCase) {
  const std::u16string lower = u"software\\microsoft\\windows\\currentversion\\run";
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Tool", u"c:\\tool.exe"));
  CommandItem item = MakeItem(u"Tool", kCU, lower);
  ASSERT_EQ(0, DisableRegistryItem(item));
  EXPECT_EQ(lower + u"\\TidyraDisable", item.subkey);
  EXPECT_EQ(u"rem c:\\tool.exe", ValueText(HKEY_CURRENT_USER, kRunDisabled, u"Tool"));

  CommandItem back = MakeItem(u"Tool", kCU, lower + u"\\TIDYRADISABLE");
  ASSERT_EQ(0, EnableRegistryItem(back));
  EXPECT_EQ(lower, back.subkey);
  EXPECT_EQ(u"c:\\tool.exe", ValueText(HKEY_CURRENT_USER, kRun, u"Tool"));
}

TEST_F(RegistryItemTest, PoliciesRunKeyOfTheTableIsAccepted) {
  const std::u16string policies =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, policies, u"P", u"c:\\p.exe"));
  CommandItem item = MakeItem(u"P", kCU, policies, 10);
  ASSERT_EQ(0, DisableRegistryItem(item));
  EXPECT_EQ(u"rem c:\\p.exe", ValueText(HKEY_CURRENT_USER, policies + u"\\TidyraDisable", u"P"));
}

TEST_F(RegistryItemTest, MisspeltPolicyKeyIsNoRunKeyButItsDisabledValuesEnableIntoTheRightOne) {
  const std::u16string misspelt =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run";
  const std::u16string policies =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, misspelt, u"Old", u"c:\\old.exe"));
  CommandItem refused = MakeItem(u"Old", kCU, misspelt, 10);
  EXPECT_EQ(-1, DisableRegistryItem(refused));

  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE,
                                    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
                                    u"\\Polices\\Explorer\\Run\\TidyraDisable",
                                    u"P", u"rem c:\\p.exe"));
  CommandItem item = MakeItem(u"P", kLM,
                              u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
                              u"\\Polices\\Explorer\\Run\\TidyraDisable",
                              9);
  ASSERT_EQ(0, EnableRegistryItem(item));
  const std::u16string wowPolicies =
      u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  EXPECT_EQ(wowPolicies, item.subkey);
  EXPECT_EQ(u"c:\\p.exe", ValueText(HKEY_LOCAL_MACHINE, wowPolicies, u"P"))
      << "restored in the same view, under the spelling Windows reads";
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE,
                           u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
                           u"\\Polices\\Explorer\\Run\\TidyraDisable",
                           u"P"));
}

// Each refusal: the operation answers -1 and neither key changed.
struct Refusal {
  const char* what;
  int (*operation)(CommandItem&);
  const char16_t* mainkey;
  const char16_t* subkey;
  const char16_t* name;
};

TEST_F(RegistryItemTest, RefusedItemsLeaveTheRegistryAsItWas) {
  const std::u16string other = u"SOFTWARE\\Vendor\\Settings";
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Plain", u"c:\\plain.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"LooksDisabled", u"rem x"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"NoPrefix", u"c:\\np.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Short", u"re"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"Upper", u"REM c:\\u.exe"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, other, u"Setting", u"keep me"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, other + u"\\TidyraDisable", u"Setting",
                                    u"rem keep me too"));
  const std::u16string otherDisabled = other + u"\\TidyraDisable";
  const std::u16string longKey = std::u16string(kRun) + u"\\" + std::u16string(250, u'k');

  const Refusal refusals[] = {
      {"enable from the Run key itself", EnableRegistryItem, u"HKEY_CURRENT_USER", kRun,
       u"LooksDisabled"},
      {"enable of data without the prefix", EnableRegistryItem, u"HKEY_CURRENT_USER",
       kRunDisabled, u"NoPrefix"},
      {"enable of data shorter than the prefix", EnableRegistryItem, u"HKEY_CURRENT_USER",
       kRunDisabled, u"Short"},
      {"enable of a prefix in other case", EnableRegistryItem, u"HKEY_CURRENT_USER", kRunDisabled,
       u"Upper"},
      {"disable of a value that is disabled already", DisableRegistryItem, u"HKEY_CURRENT_USER",
       kRunDisabled, u"NoPrefix"},
      {"disable outside the Run keys", DisableRegistryItem, u"HKEY_CURRENT_USER", other.c_str(),
       u"Setting"},
      {"delete outside the Run keys", DeleteRegistryItem, u"HKEY_CURRENT_USER", other.c_str(),
       u"Setting"},
      {"enable from a disabled key outside the Run keys", EnableRegistryItem,
       u"HKEY_CURRENT_USER", otherDisabled.c_str(), u"Setting"},
      {"Run key reached through \"..\"", DisableRegistryItem, u"HKEY_CURRENT_USER",
       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices\\..\\Run", u"Plain"},
      {"Run key with a trailing backslash", DeleteRegistryItem, u"HKEY_CURRENT_USER",
       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\", u"Plain"},
      {"key path longer than its buffer", DisableRegistryItem, u"HKEY_CURRENT_USER",
       longKey.c_str(), u"Plain"},
      {"sub-key without a backslash", EnableRegistryItem, u"HKEY_CURRENT_USER", u"TidyraDisable",
       u"Plain"},
  };
  Snapshot watched = RunKeys();
  watched.Key(HKEY_CURRENT_USER, other).Key(HKEY_CURRENT_USER, otherDisabled);
  watched.Key(HKEY_CURRENT_USER, kRun + std::u16string(u"\\TidyraDisable\\TidyraDisable"));
  watched.Take();
  for (const Refusal& refusal : refusals) {
    CommandItem item = MakeItem(refusal.name, refusal.mainkey, refusal.subkey);
    EXPECT_EQ(-1, refusal.operation(item)) << refusal.what;
    EXPECT_EQ(std::u16string(refusal.subkey).substr(0, 260), item.subkey) << refusal.what;
    Snapshot now = watched;
    now.Take();
    EXPECT_TRUE(watched == now) << refusal.what << "\n" << now.Describe();
  }
}

TEST_F(RegistryItemTest, EmptyDisabledDataRestoresAnEmptyValue) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Empty", u""));
  CommandItem item = MakeItem(u"Empty", kCU, kRun);
  ASSERT_EQ(0, DisableRegistryItem(item));
  EXPECT_EQ(u"rem ", ValueText(HKEY_CURRENT_USER, kRunDisabled, u"Empty"));
  ASSERT_EQ(0, EnableRegistryItem(item));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, u"Empty"));
  EXPECT_EQ(u"", ValueText(HKEY_CURRENT_USER, kRun, u"Empty"));
}

}  // namespace
}  // namespace opstest
