// The host's whole check cycle through the exports: check, mark, repair,
// release, check again.
#include "tests/plugin/cycle_support.h"

namespace cycle {
namespace {

class FullCycleTest : public CycleTest {};

TEST_F(FullCycleTest, CheckMarkRepairAndCheckAgain) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Stays", u"C:\\stays.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Goes", u"C:\\goes.exe");
  const std::u16string file = AddStartupFile(CSIDL_COMMON_STARTUP, u"Goes too.lnk");

  Check();
  ASSERT_EQ(3u, Nodes(list).size());
  EXPECT_EQ(3, count);
  CheckNode* value = const_cast<CheckNode*>(FindNode(list, u"Goes"));
  CheckNode* shortcut = const_cast<CheckNode*>(FindNode(list, u"Goes too.lnk"));
  ASSERT_NE(nullptr, value);
  ASSERT_NE(nullptr, shortcut);
  EXPECT_EQ(11, shortcut->type);
  EXPECT_EQ(file, Text(shortcut->cmdline));
  value->selected = 1;
  shortcut->selected = 1;

  Current() = Recorder();
  EXPECT_EQ(1, DLL_Repair(list, RecordingCallback, 0));
  EXPECT_EQ(3u, Current().texts.size());
  EXPECT_EQ(0, value->failed);
  EXPECT_EQ(0, shortcut->failed);
  // The same list may be repaired again: what is gone stays counted as removed.
  EXPECT_EQ(1, DLL_Repair(list, nullptr, 0));
  EXPECT_EQ(0, value->failed);
  EXPECT_EQ(0, shortcut->failed);
  EXPECT_EQ(1, DLL_Release(list));
  list = nullptr;

  Check();
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(u"Stays", Text(nodes[0]->name));
  EXPECT_EQ(1, count);
}

}  // namespace
}  // namespace cycle
