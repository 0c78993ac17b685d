// Hostile inputs at every entry point a host reaches: the check and repair
// exports, and the listing, disable, enable and delete commands of a command
// file. Each table row is an input and what must follow (listed, skipped or
// refused); after every row, nothing outside the row's target has changed:
// a file and a registry key beside the startup items, and the Run keys,
// disabled keys and startup folders as a whole for every refusal.
#include <functional>
#include <string>
#include <vector>

#include "platform/wtext.h"
#include "plugin/exports.h"
#include "records/check_node.h"
#include "tests/remote/ops_support.h"
#include "tests/remote/remote_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/system_image.h"
#include "tests/support/wine_prefix.h"
#endif

namespace remotetest {
namespace {

using opstest::kRunDisabled;
using opstest::Snapshot;

const char16_t kVictimKey[] = u"Software\\Victim";

// Value names compare ignoring case (ASCII is all these rows use).
bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i] >= u'a' && a[i] <= u'z' ? char16_t(a[i] - 32) : a[i];
    char16_t y = b[i] >= u'a' && b[i] <= u'z' ? char16_t(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

class HostileInputs : public RemoteTest {
 protected:
  void SetUp() override {
    opstest::PrepareFolders();
    victim_ = testsys::ScratchFolder() + u"\\victim.txt";
    ASSERT_TRUE(testsys::WriteFileBytes(victim_, "victim"));
    SetValue(HKEY_CURRENT_USER, kVictimKey, u"keep", u"C:\\kept.exe");
  }

  // The file and key beside the items are as they were.
  void ExpectOutsideUntouched(const std::string& why) {
    std::string bytes;
    EXPECT_TRUE(testsys::ReadFileBytes(victim_, &bytes) && bytes == "victim") << why;
    EXPECT_EQ(u"C:\\kept.exe", ValueData(HKEY_CURRENT_USER, kVictimKey, u"keep")) << why;
  }

  // Everything an item lives in, plus what lies beside it.
  Snapshot Everything(const std::vector<std::u16string>& files) {
    Snapshot s;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      s.Key(root, kRunPath).Key(root, kRunDisabled).Key(root, kRunOncePath);
    s.Key(HKEY_CURRENT_USER, kVictimKey).File(victim_);
    for (const std::u16string& file : files) s.File(file);
    s.Take();
    return s;
  }

  // One command over items; the nResult of each item, in order.
  std::vector<std::u16string> Command(const char16_t* command, const std::vector<ItemSpec>& items) {
    Invocation call = Run(CommandXml(command, items));
    ReadBack back = ReadResponse(ResponsePath(), kItemResultAttributes);
    EXPECT_TRUE(back.loaded) << Utf8(call.text);
    std::vector<std::u16string> results;
    for (const Attributes& item : back.items) results.push_back(item.at(u"nResult"));
    return results;
  }

  std::u16string victim_;
};

// DLL_Check only reads: whatever the Run keys hold, every value is listed
// once and nothing is written.
TEST_F(HostileInputs, CheckListsHostileValuesAndChangesNothing) {
  struct Row {
    const char* what;
    std::u16string name, data;
    DWORD type;
    int listed;  // items of that name in the list
  };
  const Row rows[] = {
      {"data of 70,000 characters", u"Huge", std::u16string(70000, u'a'), REG_SZ, 1},
      {"REG_EXPAND_SZ", u"Expand", u"%SystemRoot%\\system32\\tool.exe", REG_EXPAND_SZ, 1},
      {"a value name with \\ and ..", u"..\\..\\Evil", u"C:\\evil.exe", REG_SZ, 1},
      {"the name of an earlier value in other case", u"HUGE", u"C:\\upper.exe", REG_SZ, 1},
      {"markup in name and data", u"<a & \"b\">", u"\"C:\\x.exe\" <&>", REG_SZ, 1},
      {"empty data: skipped", u"Empty", u"", REG_SZ, 0},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunPath, row.name, row.data, row.type)) << row.what;
    Snapshot before = Everything({});
    CheckNode* head = nullptr;
    int32_t count = -1;
    DLL_Check(&head, nullptr, &count, 0);
    int listed = 0;
    for (CheckNode* node = head; node != nullptr; node = node->next)
      listed += SameName(node->name, row.name) ? 1 : 0;
    DLL_Release(head);
    EXPECT_EQ(row.listed, listed) << row.what;
    Snapshot after = before;
    after.Take();
    EXPECT_TRUE(before == after) << row.what << "\n" << after.Describe();
    ExpectOutsideUntouched(row.what);
  }
}

// Nodes the host hands back with fields it changed, for registry items:
// repair deletes only the value of the node's own key, and nothing when the
// node names none (a name no value has counts as already removed, as a file
// already gone does; a type that is no source fails).
TEST_F(HostileInputs, RepairOfForgedRegistryNodesDeletesNothingElse) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Target", u"C:\\target.exe");
  SetValue(HKEY_CURRENT_USER, kRunOncePath, u"OnlyOnce", u"C:\\once.exe");
  CheckNode* head = nullptr;
  int32_t count = -1;
  DLL_Check(&head, nullptr, &count, 0);
  CheckNode* target = nullptr;
  for (CheckNode* node = head; node != nullptr; node = node->next)
    if (std::u16string(node->name) == u"Target") target = node;
  ASSERT_NE(nullptr, target);
  const CheckNode original = *target;
  struct Row {
    const char* what;
    std::function<void(CheckNode&)> forge;
    bool fails;
  };
  const Row rows[] = {
      {"a name climbing to the parent key", [](CheckNode& n) { wtext::Copy(n.name, u"..\\Target"); }, false},
      {"the name of a value of another Run key", [](CheckNode& n) { wtext::Copy(n.name, u"OnlyOnce"); }, false},
      {"a name in the victim key", [](CheckNode& n) { wtext::Copy(n.name, u"keep"); }, false},
      {"a type that is no source", [](CheckNode& n) { n.type = 77; }, true},
      {"a negative type", [](CheckNode& n) { n.type = -1; }, true},
  };
  for (const Row& row : rows) {
    CheckNode node = original;
    node.next = nullptr;
    row.forge(node);
    node.selected = 1;
    node.failed = 0;
    Snapshot before = Everything({});
    DLL_Repair(&node, nullptr, 0);
    EXPECT_EQ(row.fails ? 1 : 0, node.failed) << row.what;
    Snapshot after = before;
    after.Take();
    EXPECT_TRUE(before == after) << row.what << "\n" << after.Describe();
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunOncePath, u"OnlyOnce")) << row.what;
    ExpectOutsideUntouched(row.what);
  }
  DLL_Release(head);
}

// The listing reads whatever the keys hold and always answers a document
// a parser reads, every item once with its state.
TEST_F(HostileInputs, ListingAnswersWellFormedForHostileValues) {
  struct Row {
    const char* what;
    HKEY root;
    std::u16string key, name, data;
    const char16_t* status;
  };
  const std::u16string control = std::u16string(u"C:\\a.exe ") + char16_t(1) + char16_t(0xD800) + u"x";
  const Row rows[] = {
      {"markup in the name", HKEY_CURRENT_USER, kRunPath, u"<x a=\"1\"> & y", u"C:\\x.exe", u"1"},
      {"control units and a lone surrogate", HKEY_CURRENT_USER, kRunPath, u"Control", control, u"1"},
      {"data of 70,000 characters", HKEY_LOCAL_MACHINE, kRunPath, u"Huge", std::u16string(70000, u'b'), u"1"},
      {"the same name enabled and disabled", HKEY_CURRENT_USER, kRunDisabled, u"Control", u"rem C:\\other.exe",
       u"2"},
      {"a disabled record without its prefix", HKEY_CURRENT_USER, kRunDisabled, u"Bare", u"C:\\bare.exe", u"2"},
  };
  for (const Row& row : rows) {
    SetValue(row.root, row.key, row.name, row.data);
    Snapshot before = Everything({});
    Invocation call = Run(CommandXml(u"VEK_GetAutoRunList_RUN", {}));
    EXPECT_EQ(0, call.result) << row.what;
    ReadBack back = ReadResponse(ResponsePath(), kListingAttributes);
    ASSERT_TRUE(back.loaded) << row.what << ": " << Utf8(call.text);
    int found = 0;
    for (const Attributes& item : back.items)
      if (item.at(u"name") == row.name && item.at(u"status") == row.status) ++found;
    EXPECT_EQ(1, found) << row.what;
    Snapshot after = before;
    after.Take();
    EXPECT_TRUE(before == after) << row.what << "\n" << after.Describe();
  }
}

// A command row: the command, one item, and what its result must be.
struct ChangeRow {
  const char* what;
  const char16_t* command;
  std::function<ItemSpec()> item;
};

const char16_t kDisable[] = u"VEK_DisableAutoRun_RUN";
const char16_t kEnable[] = u"VEK_EnableAutoRun_RUN";
const char16_t kDelete[] = u"VEK_DeleteAutoRun_RUN";

// Every row is refused (nResult not 0, or the whole command file when an
// item cannot be read) and changes nothing at all.
TEST_F(HostileInputs, DisableEnableAndDeleteRefuseAndChangeNothing) {
  const std::u16string user = opstest::UserStartup();
  const std::u16string app = AddFile(user, u"App.lnk");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Live", u"C:\\live.exe");
  SetValue(HKEY_CURRENT_USER, kRunDisabled, u"Live", u"rem C:\\different.exe");
  SetValue(HKEY_CURRENT_USER, kRunDisabled, u"Parked", u"rem C:\\parked.exe");
  ASSERT_TRUE(testsys::MakeFolders(opstest::DisabledFolder()));
  const std::u16string parked = AddFile(opstest::DisabledFolder(), u"App.lnk");  // differs from app
  ASSERT_TRUE(testsys::WriteFileBytes(parked, "another program"));
  const std::u16string cu = u"HKEY_CURRENT_USER";
  const std::u16string victimKey = kVictimKey;
  const ChangeRow rows[] = {
      {"disable a name that is not there", kDisable, [&] { return Item(u"Ghost", cu, kRunPath, u"1"); }},
      {"disable from a key that is no Run key", kDisable, [&] { return Item(u"keep", cu, victimKey, u"1"); }},
      {"disable under a root that is no root", kDisable, [&] { return Item(u"Live", u"HKEY_USERS", kRunPath, u"1"); }},
      {"disable a name of 300 characters", kDisable,
       [&] { return Item(std::u16string(300, u'n'), cu, kRunPath, u"1"); }},
      {"disable onto a different disabled value", kDisable, [&] { return Item(u"Live", cu, kRunPath, u"1"); }},
      {"disable a file named out of its folder", kDisable,
       [&] { return Item(u"..\\..\\victim.txt", u"", app, u"12"); }},
      {"disable a file outside the startup folders", kDisable,
       [&] { return Item(u"victim.txt", u"", victim_, u"12"); }},
      {"disable a file onto a different disabled file", kDisable, [&] { return Item(u"App.lnk", u"", app, u"12"); }},
      {"enable onto a different live value", kEnable, [&] { return Item(u"Live", cu, kRunDisabled, u"1"); }},
      {"enable from a key that is no disabled key", kEnable,
       [&] { return Item(u"keep", cu, victimKey, u"1"); }},
      {"enable a file from outside the disabled folder", kEnable,
       [&] { return Item(u"victim.txt", u"", victim_, u"11"); }},
      {"enable a file onto a different enabled file", kEnable,
       [&] { return Item(u"App.lnk", u"", parked, u"11"); }},
      {"delete from a key that is no Run key", kDelete, [&] { return Item(u"keep", cu, victimKey, u"1"); }},
      {"delete a value by a climbing key path", kDelete,
       [&] { return Item(u"keep", cu, std::u16string(kRunPath) + u"\\..\\..\\..\\..\\..\\Victim", u"1"); }},
      {"delete a file outside the startup folders", kDelete,
       [&] { return Item(u"victim.txt", u"", victim_, u"12"); }},
      {"delete a file named out of its folder", kDelete,
       [&] { return Item(u"..\\..\\runvane-scratch\\victim.txt", u"", user + u"\\..\\..\\runvane-scratch\\victim.txt",
                         u"12"); }},
      // Any type outside the table names a file: still only one in a startup folder.
      {"delete with an unknown type a file outside", kDelete,
       [&] { return Item(u"victim.txt", u"", victim_, u"55"); }},
      {"delete with a negative type a file outside", kDelete,
       [&] { return Item(u"victim.txt", u"", victim_, u"-3"); }},
  };
  for (const ChangeRow& row : rows) {
    Snapshot before = Everything({app, parked});
    std::vector<std::u16string> results = Command(row.command, {row.item()});
    ASSERT_GE(1u, results.size()) << row.what;
    if (!results.empty()) {
      EXPECT_NE(u"0", results[0]) << row.what;
    }
    Snapshot after = before;
    after.Take();
    EXPECT_TRUE(before == after) << row.what << "\n" << after.Describe();
    ExpectOutsideUntouched(row.what);
  }
}

#ifndef _WIN32
// What only a Linux image can hold: FIFOs, links out of the image, host
// paths through drive Z:. Each is refused or acted on as the link itself.
TEST_F(HostileInputs, LinuxOnlyInputsNeverReachOutsideTheImage) {
  const std::u16string user = opstest::UserStartup();
  const std::string userHost = platform::image::HostPath(user.c_str());
  char outsideFolder[] = "/tmp/rv-hostile-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(outsideFolder));
  const std::string outside = outsideFolder;
  const std::string hostFile = outside + "/host.txt";
  ASSERT_TRUE(testsys::WriteFileBytes(platform::image::WindowsPath(hostFile), "host"));
  std::u16string hostZ = platform::image::WindowsPath(hostFile);
  ASSERT_EQ(0, mkfifo((userHost + "/pipe.lnk").c_str(), 0644));
  ASSERT_EQ(0, symlink(hostFile.c_str(), (userHost + "/linked.lnk").c_str()));
  opstest::AddFolderRecord(u"Backup", u"Backup.lnk", user + u"\\Backup.lnk", hostZ);
  enum Outcome { kRefused, kDone, kEither };
  struct Row {
    const char* what;
    const char16_t* command;
    ItemSpec item;
    Outcome outcome;
  };
  const Row rows[] = {
      {"disable a FIFO", kDisable, Item(u"pipe.lnk", u"", user + u"\\pipe.lnk", u"12"), kRefused},
      {"delete a FIFO", kDelete, Item(u"pipe.lnk", u"", user + u"\\pipe.lnk", u"12"), kRefused},
      {"delete a host file through Z:", kDelete, Item(u"host.txt", u"", hostZ, u"12"), kRefused},
      {"enable a host file through Z:", kEnable, Item(u"host.txt", u"", hostZ, u"11"), kRefused},
      {"enable an MSConfig record whose backup is a host file", kEnable,
       Item(u"Backup.lnk", u"", u"", u"101"), kEither},  // restoring reads it: allowed
      {"disable a link out of the image", kDisable, Item(u"linked.lnk", u"", user + u"\\linked.lnk", u"12"), kDone},
      {"delete the disabled link", kDelete,
       Item(u"linked.lnk", u"", opstest::DisabledFolder() + u"\\linked.lnk", u"12"), kDone},
  };
  for (const Row& row : rows) {
    std::vector<std::u16string> results = Command(row.command, {row.item});
    ASSERT_EQ(1u, results.size()) << row.what;
    if (row.outcome != kEither) {
      EXPECT_EQ(row.outcome == kDone, results[0] == u"0") << row.what << ": nResult " << Utf8(results[0]);
    }
    EXPECT_EQ("host", testsys::ReadHostFile(hostFile)) << row.what;
    struct stat st;
    EXPECT_EQ(0, lstat((userHost + "/pipe.lnk").c_str(), &st)) << row.what;
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << row.what;
    ExpectOutsideUntouched(row.what);
  }
  unlink(hostFile.c_str());
  rmdir(outside.c_str());
}
#endif

}  // namespace
}  // namespace remotetest
