// FixItemByName: removal by the host's names, and the removal of everything
// a check lists when no names are given.
#include <vector>

#include "records/fix_node.h"
#include "platform/wtext.h"
#include "tests/plugin/cycle_support.h"

namespace cycle {
namespace {

class FixByNameTest : public CycleTest {
 protected:
  // A host-made list, linked in order.
  FixNode* MakeList(const std::vector<std::u16string>& names) {
    nodes_.assign(names.size(), FixNode{});
    for (size_t i = 0; i < names.size(); ++i) {
      wtext::Copy(nodes_[i].name, names[i]);
      nodes_[i].result = 77;
      nodes_[i].next = i + 1 < names.size() ? &nodes_[i + 1] : nullptr;
    }
    return nodes_.empty() ? nullptr : &nodes_[0];
  }
  std::vector<FixNode> nodes_;
};

TEST_F(FixByNameTest, MachineValueGoesFirstThenTheUserValue) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Twice", u"C:\\m.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Twice", u"C:\\u.exe");
  FixNode* head = MakeList({u"Twice"});
  EXPECT_EQ(0, FixItemByName(head));
  EXPECT_EQ(0, head->result);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"Twice"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Twice"));

  EXPECT_EQ(0, FixItemByName(head));
  EXPECT_EQ(0, head->result);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Twice"));

  EXPECT_EQ(0, FixItemByName(head));
  EXPECT_EQ(1, head->result) << "nothing left to remove";
}

TEST_F(FixByNameTest, StartupFilesGoAllUsersFolderFirst) {
  const std::u16string common = AddStartupFile(CSIDL_COMMON_STARTUP, u"Both.lnk");
  const std::u16string user = AddStartupFile(CSIDL_STARTUP, u"Both.lnk");
  FixNode* head = MakeList({u"Both.lnk"});
  FixItemByName(head);
  EXPECT_EQ(0, head->result);
  EXPECT_FALSE(testsys::FileExists(common));
  EXPECT_TRUE(testsys::FileExists(user));
  FixItemByName(head);
  EXPECT_EQ(0, head->result);
  EXPECT_FALSE(testsys::FileExists(user));
}

TEST_F(FixByNameTest, NamesThatRemoveNothingGetResultOne) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Known", u"C:\\known.exe");
  FixNode* head = MakeList({u"", u"Unknown", std::u16string(250, u'z'), u"Known"});
  // A node whose name fills its whole field without a terminator.
  for (char16_t& unit : nodes_[1].name) unit = u'K';
  EXPECT_EQ(0, FixItemByName(head));
  EXPECT_EQ(1, nodes_[0].result) << "empty name";
  EXPECT_EQ(1, nodes_[1].result) << "unterminated name";
  EXPECT_EQ(1, nodes_[2].result) << "too long for any folder path";
  EXPECT_EQ(0, nodes_[3].result) << "the walk goes on";
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"Known"));
}

TEST_F(FixByNameTest, NameWithAPathNeverLeavesTheStartupFolder) {
  const std::u16string folder = StartupFolder(CSIDL_STARTUP);
  const std::u16string outside = folder.substr(0, folder.find_last_of(u'\\')) + u"\\victim.txt";
  ASSERT_TRUE(testsys::WriteFileBytes(outside, "keep me"));
  FixNode* head = MakeList({u"..\\victim.txt"});
  FixItemByName(head);
  EXPECT_EQ(1, head->result);
  EXPECT_TRUE(testsys::FileExists(outside));
}

TEST_F(FixByNameTest, NoListRemovesEverythingACheckListsButHiddenItems) {
  WriteKnowledgeBase({
      {"SafeTool", "safe", "", "", "", "1", "1", "1"},
      {"Hidden.lnk", "", "", "", "", "2", "1", "3"},
  });
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"SafeTool", u"C:\\safe.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Unknown1", u"C:\\one.exe");
  const std::u16string file = AddStartupFile(CSIDL_STARTUP, u"Unknown2.lnk");
  const std::u16string hidden = AddStartupFile(CSIDL_COMMON_STARTUP, u"Hidden.lnk");

  EXPECT_EQ(0, FixItemByName(nullptr));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"SafeTool"));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Unknown1"));
  EXPECT_FALSE(testsys::FileExists(file));
  EXPECT_TRUE(testsys::FileExists(hidden)) << "a hidden item is never listed, so never removed";

  Check();
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ(1, count) << "only the hidden item is left, reported but not listed";
}

}  // namespace
}  // namespace cycle
