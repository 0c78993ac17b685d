// Startup items of both registry views, of long names and command lines,
// and of the policy key: what the scan lists, what repair and deletion by
// name remove, and what the remote operations change. The 32-bit view is
// written as the literal key SOFTWARE\Wow6432Node\..., which every process
// (and the Linux backend's image) sees as the same key.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "inventory/repair.h"
#include "inventory/run_key_table.h"
#include "inventory/scan_driver.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "remote/listing.h"
#include "remote/registry_item_ops.h"
#include "tests/support/test_system.h"

namespace {

const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kWowRun[] = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kPolicies[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const char16_t kHklm[] = u"HKEY_LOCAL_MACHINE";

int32_t __cdecl Quiet(const char16_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                      int32_t, int32_t) {
  return 0;
}

std::u16string ValueText(HKEY root, const std::u16string& key, const std::u16string& name) {
  platform::ScopedKey handle;
  if (platform::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                              handle.receive()) != ERROR_SUCCESS)
    return u"<no key>";
  std::vector<char16_t> text(4096, 0);
  DWORD size = DWORD((text.size() - 1) * 2);
  if (platform::RegQueryValueExW(handle.get(), name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
    return u"<no value>";
  return text.data();
}

struct Listed {
  std::u16string name, subkey, cmdline;
  int32_t type;
  bool operator<(const Listed& o) const {
    return std::tie(subkey, name, cmdline, type) < std::tie(o.subkey, o.name, o.cmdline, o.type);
  }
  bool operator==(const Listed& o) const {
    return name == o.name && subkey == o.subkey && cmdline == o.cmdline && type == o.type;
  }
};
std::ostream& operator<<(std::ostream& out, const Listed& item) {
  return out << wtext::ToUtf8(item.subkey) << " | " << wtext::ToUtf8(item.name) << " = "
             << wtext::ToUtf8(item.cmdline) << " (type " << item.type << ")";
}

std::vector<Listed> Scan() {
  ScanContext context(Quiet, nullptr, 0);
  ScanAutoRunItems(context);
  std::vector<Listed> items;
  for (int i = 0; i < context.inventory.GetSize(); ++i) {
    const _RunData& item = context.inventory[i];
    items.push_back({item.name, item.subkey, item.cmdline, item.type});
  }
  return items;
}

CheckNode Node(int32_t type, const std::u16string& name, const std::u16string& cmdline) {
  CheckNode node{};
  wtext::Copy(node.name, name);
  wtext::Copy(node.cmdline, cmdline);
  node.type = type;
  node.selected = 1;
  node.failed = 7;
  return node;
}

bool Repair(CheckNode& node) {
  ScanContext context(Quiet, nullptr, 0);
  RepairCheckList(&node, context, kRepairSelected);
  return node.failed == 0;
}

CommandItem Item(const std::u16string& name, const std::u16string& subkey, int32_t type) {
  CommandItem item{};
  wtext::Copy(item.name, name);
  wtext::Copy(item.mainkey, kHklm);
  wtext::Copy(item.subkey, subkey);
  item.type = type;
  return item;
}

class RegistryViewsTest : public ::testing::Test {
 protected:
  void Set(HKEY root, const std::u16string& key, const std::u16string& name,
           const std::u16string& data) {
    ASSERT_TRUE(testsys::SetRegString(root, key, name, data));
  }
  testsys::CleanSystem system_;
};

TEST(RunKeyTableTest, MachineRowsHaveTwoViewsUserRowsOneAndThePolicyKeyIsSpeltRight) {
  char16_t path[kRunKeyPathUnits];
  ASSERT_TRUE(RunKeyPath(0, kWow32View, RunKeySpelling::kCurrent, path));
  EXPECT_EQ(std::u16string(kWowRun), path);
  EXPECT_FALSE(RunKeyPath(1, kWow32View, RunKeySpelling::kCurrent, path)) << "HKCU is shared";
  EXPECT_EQ(u"", std::u16string(path));
  ASSERT_TRUE(RunKeyPath(9, kNativeView, RunKeySpelling::kCurrent, path));
  EXPECT_EQ(std::u16string(kPolicies), path);
  ASSERT_TRUE(RunKeyPath(9, kWow32View, RunKeySpelling::kFormer, path));
  EXPECT_EQ(u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run",
            std::u16string(path));
  EXPECT_FALSE(RunKeyPath(0, kNativeView, RunKeySpelling::kFormer, path));
  EXPECT_FALSE(RunKeyPath(11, kNativeView, RunKeySpelling::kCurrent, path));

  RunKeyPlace place;
  ASSERT_TRUE(FindRunKey(HKEY_LOCAL_MACHINE, u"software\\WOW6432NODE\\microsoft\\windows\\"
                                             u"currentversion\\runonce", false, &place));
  EXPECT_EQ(2, place.row);
  EXPECT_EQ(kWow32View, place.view);
  EXPECT_FALSE(FindRunKey(HKEY_CURRENT_USER, kWowRun, true, &place)) << "no user twin";
  EXPECT_FALSE(FindRunKey(HKEY_LOCAL_MACHINE,
                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run",
                          false, &place));
}

TEST_F(RegistryViewsTest, ScanListsBothViewsOfMachineRowsWithTheirRealKeys) {
  Set(HKEY_LOCAL_MACHINE, kRun, u"Same", u"C:\\native.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Same", u"C:\\wow.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Only32", u"C:\\only32.exe");
  Set(HKEY_CURRENT_USER, kWowRun, u"UserTwin", u"C:\\not-a-run-key.exe");
  Set(HKEY_LOCAL_MACHINE, kPolicies, u"Policy", u"C:\\policy.exe");
  Set(HKEY_LOCAL_MACHINE,
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run", u"Misspelt",
      u"C:\\misspelt.exe");
  const std::vector<Listed> items = Scan();
  // Keys in table order, the native view before the 32-bit view (values
  // within one key in the order the registry gives them).
  std::vector<std::u16string> keys;
  for (const Listed& item : items)
    if (keys.empty() || keys.back() != item.subkey) keys.push_back(item.subkey);
  EXPECT_EQ((std::vector<std::u16string>{kRun, kWowRun, kPolicies}), keys);
  std::vector<Listed> expected = {
      {u"Same", kRun, u"C:\\native.exe", 0},
      {u"Same", kWowRun, u"C:\\wow.exe", 0},
      {u"Only32", kWowRun, u"C:\\only32.exe", 0},
      {u"Policy", kPolicies, u"C:\\policy.exe", 9},
  };
  std::vector<Listed> sorted = items;
  std::sort(expected.begin(), expected.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(expected, sorted);
}

TEST_F(RegistryViewsTest, RepairDeletesInTheViewWhoseDataMatchesOnly) {
  Set(HKEY_LOCAL_MACHINE, kRun, u"Same", u"C:\\native.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Same", u"C:\\wow.exe /quiet");
  CheckNode wow = Node(0, u"Same", u"C:\\wow.exe");  // compared over its own length
  EXPECT_TRUE(Repair(wow));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
  EXPECT_EQ(u"C:\\native.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, u"Same"));

  // Neither view's data matches: the native view first, one value only.
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Same", u"C:\\wow.exe");
  CheckNode other = Node(0, u"Same", u"C:\\elsewhere.exe");
  EXPECT_TRUE(Repair(other));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kRun, u"Same"));
  EXPECT_EQ(u"C:\\wow.exe", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
  // ... then the 32-bit view, the only one left that holds the name.
  EXPECT_TRUE(Repair(other));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
}

TEST_F(RegistryViewsTest, DeletionByNameTakesTheNativeViewBeforeThe32BitView) {
  Set(HKEY_LOCAL_MACHINE, kRun, u"Same", u"C:\\native.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Same", u"C:\\wow.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Only32", u"C:\\only32.exe");
  EXPECT_EQ(0, DeleteItemByName(u"Same"));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kRun, u"Same"));
  EXPECT_EQ(u"C:\\wow.exe", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
  EXPECT_EQ(0, DeleteItemByName(u"Only32"));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Only32"));
}

TEST_F(RegistryViewsTest, LongCommandLinesAndNamesAreListedAndRemovable) {
  const std::u16string line300 = u"C:\\tool.exe " + std::u16string(288, u'p');
  const std::u16string name200(200, u'n');
  ASSERT_EQ(300u, line300.size());
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"LongLine", line300);
  Set(HKEY_LOCAL_MACHINE, kRun, name200, u"C:\\named.exe");
  std::map<std::u16string, Listed> listed;
  for (const Listed& item : Scan()) listed[item.name] = item;
  ASSERT_EQ(1u, listed.count(u"LongLine"));
  EXPECT_EQ(line300.substr(0, 259), listed[u"LongLine"].cmdline);
  ASSERT_EQ(1u, listed.count(name200)) << "a name of 128-259 characters is read whole";

  CheckNode node = Node(0, u"LongLine", listed[u"LongLine"].cmdline);
  EXPECT_TRUE(Repair(node));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"LongLine"));
  EXPECT_EQ(0, DeleteItemByName(name200.c_str()));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kRun, name200));
}

TEST_F(RegistryViewsTest, CutNamesStandForExactlyOneValueOrNothingIsDeleted) {
  const std::u16string stem(259, u's');
  const std::u16string first = stem + u"-first";
  const std::u16string second = stem + u"-second";
  Set(HKEY_LOCAL_MACHINE, kRun, first, u"C:\\first.exe");
  Set(HKEY_LOCAL_MACHINE, kRun, second, u"C:\\second.exe");
  std::vector<Listed> items = Scan();
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(stem, items[0].name);
  EXPECT_EQ(stem, items[1].name);

  // Two values begin with the cut name: by name alone nothing is removed.
  EXPECT_EQ(1, DeleteItemByName(stem.c_str()));
  CommandItem remote = Item(stem, kRun, 0);
  EXPECT_EQ(-1, DeleteRegistryItem(remote));
  EXPECT_EQ(-1, DisableRegistryItem(remote));
  EXPECT_EQ(u"C:\\first.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, first));
  EXPECT_EQ(u"C:\\second.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, second));

  // The node's command line decides between them.
  CheckNode node = Node(0, stem, u"C:\\second.exe");
  EXPECT_TRUE(Repair(node));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kRun, second));
  EXPECT_EQ(u"C:\\first.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, first));
  // A command line no value has: failure, never "removed".
  CheckNode wrong = Node(0, stem, u"C:\\neither.exe");
  EXPECT_FALSE(Repair(wrong));
  EXPECT_EQ(u"C:\\first.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, first));

  // One value left: the cut name stands for it everywhere.
  CommandItem disable = Item(stem, kRun, 0);
  ASSERT_EQ(0, DisableRegistryItem(disable));
  EXPECT_EQ(u"rem C:\\first.exe",
            ValueText(HKEY_LOCAL_MACHINE, std::u16string(kRun) + u"\\TidyraDisable", first));
  CommandItem enable = Item(stem, std::u16string(kRun) + u"\\TidyraDisable", 0);
  ASSERT_EQ(0, EnableRegistryItem(enable));
  EXPECT_EQ(u"C:\\first.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, first));
  CommandItem remove = Item(stem, kRun, 0);
  EXPECT_EQ(0, DeleteRegistryItem(remove));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kRun, first));
  EXPECT_EQ(-1, DeleteRegistryItem(remove)) << "a cut name that stands for nothing";
}

TEST_F(RegistryViewsTest, RemoteOperationsActOnTheKeyTheListingNamed) {
  Set(HKEY_LOCAL_MACHINE, kRun, u"Same", u"C:\\native.exe");
  Set(HKEY_LOCAL_MACHINE, kWowRun, u"Same", u"C:\\wow.exe");
  const std::u16string wowDisabled = std::u16string(kWowRun) + u"\\TidyraDisable";
  CommandItem item = Item(u"Same", kWowRun, 0);
  ASSERT_EQ(0, DisableRegistryItem(item));
  EXPECT_EQ(wowDisabled, std::u16string(item.subkey));
  EXPECT_EQ(u"rem C:\\wow.exe", ValueText(HKEY_LOCAL_MACHINE, wowDisabled, u"Same"));
  EXPECT_EQ(u"C:\\native.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, u"Same"));

  // The listing finds the disabled record in the 32-bit view, and a former
  // spelling's record of the policy row.
  Set(HKEY_CURRENT_USER,
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run\\TidyraDisable",
      u"Old", u"rem C:\\old.exe");
  ScanContext context(Quiet, nullptr, 0);
  AutoRunItemNode* head = nullptr;
  ListAutoRunItems(context, &head);
  std::vector<Listed> disabled;
  for (AutoRunItemNode* node = head; node != nullptr; node = node->next)
    if (node->status == 2) disabled.push_back({node->name, node->subkey, node->cmdline, node->type});
  FreeAutoRunList(head);
  const std::vector<Listed> expected = {
      {u"Same", wowDisabled, u"rem C:\\wow.exe", 0},
      {u"Old",
       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Polices\\Explorer\\Run\\TidyraDisable",
       u"rem C:\\old.exe", 10},
  };
  EXPECT_EQ(expected, disabled);

  CommandItem back = Item(u"Same", wowDisabled, 0);
  ASSERT_EQ(0, EnableRegistryItem(back));
  EXPECT_EQ(std::u16string(kWowRun), std::u16string(back.subkey));
  EXPECT_EQ(u"C:\\wow.exe", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
  CommandItem gone = Item(u"Same", kWowRun, 0);
  EXPECT_EQ(0, DeleteRegistryItem(gone));
  EXPECT_EQ(u"<no value>", ValueText(HKEY_LOCAL_MACHINE, kWowRun, u"Same"));
  EXPECT_EQ(u"C:\\native.exe", ValueText(HKEY_LOCAL_MACHINE, kRun, u"Same"));

  // The user branch has no 32-bit twin for the guard to admit.
  CommandItem user = Item(u"Same", kWowRun, 0);
  wtext::Copy(user.mainkey, u"HKEY_CURRENT_USER");
  EXPECT_EQ(-1, DeleteRegistryItem(user));
}

}  // namespace
