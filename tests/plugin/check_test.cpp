// DLL_Check and DLL_Release as the host sees them: the list, the count, the
// callback protocol, and what the Run-key scan lists and leaves out.
#include <algorithm>
#include <cstring>
#include <map>

#include "inventory/scan_driver.h"
#include "platform/wtext.h"
#include "records/run_data.h"
#include "tests/plugin/cycle_support.h"

namespace cycle {
namespace {

class CheckTest : public CycleTest {};

TEST_F(CheckTest, NoStartupItemGivesZeroNullListAndCountZero) {
  Check();
  EXPECT_EQ(0, checkResult);
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ(0, count);
  EXPECT_TRUE(Current().texts.empty());
}

TEST_F(CheckTest, CallbackSeesTheCommandLineUserDataAndFixedArguments) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Tool", u"C:\\tools\\tool.exe /quiet");
  Check(0x5eed);
  ASSERT_EQ(1u, Current().texts.size());
  EXPECT_EQ(u"C:\\tools\\tool.exe /quiet", Current().texts[0]);
  const std::vector<int32_t> expected = {-1, -1, -1, -1, 0x5eed, 0, 0, 0};
  EXPECT_EQ(expected, Current().arguments[0]);
  EXPECT_EQ(1, count);
}

TEST_F(CheckTest, CancelAtTheFirstCallbackStopsAfterThatItem) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"First", u"C:\\first.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Second", u"C:\\second.exe");
  SetValue(HKEY_CURRENT_USER, kPolicyRunPath, u"Third", u"C:\\third.exe");
  AddStartupFile(CSIDL_STARTUP, u"Fourth.lnk");
  Current().stopAt = 1;
  Check();
  EXPECT_EQ(0, checkResult);
  EXPECT_EQ(1u, Current().texts.size()) << "rows 1-10 and the folders are not read";
  EXPECT_EQ(1, count);
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_LE(nodes.size(), 1u);
  if (!nodes.empty()) {
    EXPECT_EQ(u"First", Text(nodes[0]->name)) << "the current item is finished";
    EXPECT_EQ(0, nodes[0]->type);
  }
}

TEST_F(CheckTest, SameNameUnderBothRootsGivesTwoItemsWithTheirRoots) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Shared", u"C:\\machine.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Shared", u"C:\\user.exe");

  ScanContext context(nullptr, nullptr, 0);
  ScanAutoRunItems(context);
  ASSERT_EQ(2, context.inventory.GetSize());
  const _RunData& machine = context.inventory[0];
  const _RunData& user = context.inventory[1];
  EXPECT_EQ(0, machine.type);
  EXPECT_EQ(1, user.type);
  EXPECT_EQ(u"HKEY_LOCAL_MACHINE", Text(machine.mainkey));
  EXPECT_EQ(u"HKEY_CURRENT_USER", Text(user.mainkey));
  EXPECT_EQ(std::u16string(kRunPath), Text(machine.subkey));
  EXPECT_EQ(u"C:\\machine.exe", Text(machine.cmdline));
  EXPECT_EQ(u"C:\\user.exe", Text(user.cmdline));
  EXPECT_EQ(kKindRegistryValue, machine.kind);
  EXPECT_EQ(1, machine.status);

  Check();
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(0, nodes[0]->type);
  EXPECT_EQ(1, nodes[1]->type);
}

// The check makes each node as the scan finds its item, the listing keeps
// the records: both give every item once, in the same order, with its texts.
TEST_F(CheckTest, AListOfManyItemsHasEveryItemOnceInScanOrder) {
  const int values = 75;
  for (int i = 0; i < values; ++i)
    SetValue(i % 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kRunPath, u"Item " + wtext::FromInt(i),
             u"C:\\tools\\tool" + wtext::FromInt(i) + u".exe");
  ScanContext context(nullptr, nullptr, 0);
  ScanAutoRunItems(context);
  std::vector<std::u16string> scanned;
  for (int i = 0; i < context.inventory.GetSize(); ++i) scanned.push_back(Text(context.inventory[i].name));
  ASSERT_EQ(size_t(values), scanned.size());

  Check();
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(scanned.size(), nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(scanned[i], Text(nodes[i]->name)) << i;
    EXPECT_EQ(u"C:\\tools\\tool" + scanned[i].substr(5) + u".exe", Text(nodes[i]->cmdline)) << i;
  }
  EXPECT_EQ(values, count);
}

TEST_F(CheckTest, ValuesThatAreNotStartupItemsAreNeitherReportedNorCounted) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"orloosINSTALL", u"C:\\setup.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"OrloOsInstall", u"C:\\setup.exe");
  SetValue(HKEY_LOCAL_MACHINE, kRunOncePath, u"", u"C:\\default.exe");
  SetValue(HKEY_LOCAL_MACHINE, kRunOncePath, u"EmptyData", u"");
  SetValue(HKEY_CURRENT_USER, kRunOncePath, u"Kept", u"C:\\kept.exe");
  Check();
  ASSERT_EQ(1u, Current().texts.size());
  EXPECT_EQ(u"C:\\kept.exe", Current().texts[0]);
  EXPECT_EQ(1, count);
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(u"Kept", Text(nodes[0]->name));
  EXPECT_EQ(3, nodes[0]->type);
}

TEST_F(CheckTest, LongDataAndLongNamesAreListedCutNeverSkipped) {
  // Padding a command line or a name must not hide a value from the check.
  const std::u16string longData = u"C:\\padded.exe " + std::u16string(300, u'x');
  const std::u16string name200(200, u'n');
  const std::u16string name300 = std::u16string(299, u'm') + u"Z";
  SetValue(HKEY_CURRENT_USER, kRunOncePath, u"TooLong", longData);
  SetValue(HKEY_CURRENT_USER, kRunOncePath, name200, u"C:\\long-name.exe");
  SetValue(HKEY_CURRENT_USER, kRunOncePath, name300, u"C:\\longer-name.exe");
  Check();
  ASSERT_EQ(3u, Current().texts.size());
  EXPECT_NE(Current().texts.end(),
            std::find(Current().texts.begin(), Current().texts.end(), longData))
      << "the callback sees the whole text";
  // Listed by name (whatever the order): name -> command line.
  std::map<std::u16string, std::u16string> listed;
  for (const CheckNode* node : Nodes(list)) listed[Text(node->name)] = Text(node->cmdline);
  const size_t nameField = sizeof(_RunData::name) / sizeof(char16_t) - 1;
  const size_t lineField = sizeof(_RunData::cmdline) / sizeof(char16_t) - 1;
  ASSERT_EQ(3u, listed.size());
  EXPECT_EQ(longData.substr(0, lineField), listed[u"TooLong"]) << "cut to the field";
  EXPECT_EQ(u"C:\\long-name.exe", listed[name200.substr(0, nameField)]);
  EXPECT_EQ(u"C:\\longer-name.exe", listed[name300.substr(0, nameField)]);
}

TEST_F(CheckTest, DataOf512BytesWithoutTerminatorIsReadWithinTheBuffer) {
  // 256 units of U+4141 and no terminator; the scan reads any type as text.
  SetValueBytes(HKEY_LOCAL_MACHINE, kRunPath, u"Full", std::string(512, 'A'));
  Check();
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(1u, nodes.size());
  const size_t kept = wtext::Length(nodes[0]->cmdline);
  EXPECT_LE(kept, 256u);
  // Cut to the record's command-line field when that is narrower.
  const size_t expected = 256u < static_cast<size_t>(rundata::kCmdlineUnits - 1)
                              ? 256u
                              : static_cast<size_t>(rundata::kCmdlineUnits - 1);
  EXPECT_EQ(expected, kept);
  for (size_t i = 0; i < kept; ++i) ASSERT_EQ(u'\x4141', nodes[0]->cmdline[i]) << i;
  ASSERT_EQ(1u, Current().texts.size());
  EXPECT_EQ(256u, Current().texts[0].size()) << "the host is told the whole text";
}

TEST_F(CheckTest, NodesCarryLevelTextsDescriptionsAndCleanHostFields) {
  WriteKnowledgeBase({
      {"SafeTool", "A safe tool", "", "", "", "1", "1", "1"},
      {"BadTool", "A bad tool", "bad.exe", "", "", "1", "1", "2"},
      {"Secret", "", "", "", "", "1", "1", "3"},
  });
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"safetool", u"C:\\safe.exe");
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"BadTool", u"C:\\bad.exe -x");
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Secret", u"C:\\secret.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Other", u"C:\\other.exe");
  Check();
  EXPECT_EQ(4, count) << "the hidden item is reported and counted";
  EXPECT_EQ(4u, Current().texts.size());
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(3u, nodes.size()) << "the hidden item is not listed";
  EXPECT_EQ(nullptr, FindNode(list, u"Secret"));

  const CheckNode* safe = FindNode(list, u"safetool");
  const CheckNode* bad = FindNode(list, u"BadTool");
  const CheckNode* other = FindNode(list, u"Other");
  ASSERT_NE(nullptr, safe);
  ASSERT_NE(nullptr, bad);
  ASSERT_NE(nullptr, other);
  EXPECT_EQ(u"安全", Text(safe->levelText));
  EXPECT_EQ(u"A safe tool", Text(safe->desc));
  EXPECT_EQ(u"危险", Text(bad->levelText));
  EXPECT_EQ(u"A bad tool", Text(bad->desc));
  EXPECT_EQ(u"未知", Text(other->levelText));
  EXPECT_EQ(u"未知", Text(other->company)) << "no version resource behind the command line";
  EXPECT_EQ(u"C:\\other.exe", Text(other->cmdline));
  EXPECT_EQ(1, other->type);
  for (const CheckNode* node : nodes) {
    EXPECT_EQ(0, node->selected);
    EXPECT_EQ(0, node->failed);
  }
}

TEST_F(CheckTest, ReleaseAnswersZeroForNullAndOneForAList) {
  EXPECT_EQ(0, DLL_Release(nullptr));
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Only", u"C:\\only.exe");
  Check();
  ASSERT_EQ(1u, Nodes(list).size());
  EXPECT_EQ(1, DLL_Release(list));
  list = nullptr;
}

TEST_F(CheckTest, NullOutPointersAreRefusedWithoutAScan) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Tool", u"C:\\tool.exe");
  int32_t c = 7;
  EXPECT_EQ(0, DLL_Check(nullptr, RecordingCallback, &c, 0));
  EXPECT_EQ(0, c);
  CheckNode* l = reinterpret_cast<CheckNode*>(&c);  // stale value of the host
  EXPECT_EQ(0, DLL_Check(&l, RecordingCallback, nullptr, 0));
  EXPECT_EQ(nullptr, l);
  EXPECT_TRUE(Current().texts.empty());
}

}  // namespace
}  // namespace cycle
