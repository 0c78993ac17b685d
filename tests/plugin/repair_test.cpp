// DLL_Repair over lists made by DLL_Check: what is removed, what each node's
// failed field says afterwards, and what the host is told.
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/plugin/cycle_support.h"

#ifndef _WIN32
#include "platform/linux/system_image.h"
#endif

namespace cycle {
namespace {

class RepairTest : public CycleTest {
 protected:
  // Three items of three kinds: a machine value, a user value, a file.
  void MakeThreeItems() {
    SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool", u"C:\\machine.exe");
    SetValue(HKEY_CURRENT_USER, kRunOncePath, u"UserTool", u"C:\\user.exe");
    filePath_ = AddStartupFile(CSIDL_STARTUP, u"Helper.lnk");
    Check();
    ASSERT_EQ(3u, Nodes(list).size());
    Current() = Recorder();
  }
  CheckNode* Node(const std::u16string& name) { return const_cast<CheckNode*>(FindNode(list, name)); }

  std::u16string filePath_;
};

TEST_F(RepairTest, NullListAnswersZeroWithoutCallback) {
  EXPECT_EQ(0, DLL_Repair(nullptr, RecordingCallback, 0));
  EXPECT_TRUE(Current().texts.empty());
}

TEST_F(RepairTest, NothingSelectedReportsEveryNodeAndRemovesNothing) {
  MakeThreeItems();
  for (const CheckNode* node : Nodes(list)) const_cast<CheckNode*>(node)->failed = 7;
  EXPECT_EQ(1, DLL_Repair(list, RecordingCallback, 42));
  ASSERT_EQ(3u, Current().texts.size());
  std::vector<const CheckNode*> nodes = Nodes(list);
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(Text(nodes[i]->cmdline), Current().texts[i]);
    EXPECT_EQ(42, Current().arguments[i][4]);
    EXPECT_EQ(7, nodes[i]->failed) << "failed is left as it was";
  }
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunOncePath, u"UserTool"));
  EXPECT_TRUE(testsys::FileExists(filePath_));
}

TEST_F(RepairTest, OneSelectedAmongThreeRemovesExactlyThatOne) {
  MakeThreeItems();
  for (const CheckNode* node : Nodes(list)) const_cast<CheckNode*>(node)->failed = 9;
  Node(u"UserTool")->selected = 1;
  EXPECT_EQ(1, DLL_Repair(list, RecordingCallback, 0));
  EXPECT_EQ(3u, Current().texts.size()) << "all three are reported";
  EXPECT_EQ(0, Node(u"UserTool")->failed);
  EXPECT_EQ(9, Node(u"MachineTool")->failed);
  EXPECT_EQ(9, Node(u"Helper.lnk")->failed);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunOncePath, u"UserTool"));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool"));
  EXPECT_TRUE(testsys::FileExists(filePath_));
}

TEST_F(RepairTest, SelectedFileIsDeleted) {
  MakeThreeItems();
  Node(u"Helper.lnk")->selected = 1;
  DLL_Repair(list, nullptr, 0);
  EXPECT_EQ(0, Node(u"Helper.lnk")->failed);
  EXPECT_FALSE(testsys::FileExists(filePath_));
}

TEST_F(RepairTest, ItemsAlreadyGoneCountAsRemoved) {
  MakeThreeItems();
  for (const CheckNode* node : Nodes(list)) {
    const_cast<CheckNode*>(node)->selected = 1;
    const_cast<CheckNode*>(node)->failed = 5;
  }
  // The value, the whole key of the other value, and the file vanish first.
  ASSERT_EQ(ERROR_SUCCESS, platform::SHDeleteValueW(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool"));
  ASSERT_TRUE(testsys::DeleteRegKey(HKEY_CURRENT_USER, kRunOncePath));
  ASSERT_TRUE(platform::DeleteFileW(filePath_.c_str()));
  DLL_Repair(list, nullptr, 0);
  for (const CheckNode* node : Nodes(list)) EXPECT_EQ(0, node->failed) << Utf8(Text(node->name));
}

TEST_F(RepairTest, FileWhoseFolderIsGoneCountsAsRemoved) {
  CheckNode node{};
  node.type = 12;
  // Repair deletes only inside the node's startup folder: here that folder is gone.
  char16_t folder[MAX_PATH] = {};
  ASSERT_TRUE(platform::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, FALSE));
  ASSERT_TRUE(platform::RemoveDirectoryW(folder));
  const std::u16string missing = std::u16string(folder) + u"\\Helper.lnk";
  ASSERT_TRUE(wtext::Copy(node.cmdline, missing));
  node.selected = 1;
  node.failed = 5;
  DLL_Repair(&node, nullptr, 0);
  EXPECT_EQ(0, node.failed);
}

TEST_F(RepairTest, CancelEndsTheWalkAfterTheCurrentNode) {
  MakeThreeItems();
  for (const CheckNode* node : Nodes(list)) {
    const_cast<CheckNode*>(node)->selected = 1;
    const_cast<CheckNode*>(node)->failed = 5;
  }
  Current().stopAt = 1;
  EXPECT_EQ(1, DLL_Repair(list, RecordingCallback, 0));
  EXPECT_EQ(1u, Current().texts.size());
  std::vector<const CheckNode*> nodes = Nodes(list);
  EXPECT_EQ(0, nodes[0]->failed) << "the current node is still handled";
  EXPECT_EQ(5, nodes[1]->failed);
  EXPECT_EQ(5, nodes[2]->failed);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunOncePath, u"UserTool"));
}

TEST_F(RepairTest, ValueThatCannotBeDeletedFailsAndTheWalkGoesOn) {
#ifdef _WIN32
  GTEST_SKIP() << "under Wine the test user may change every key of the prefix; no reliable "
                  "way to deny the deletion of one value";
#else
  MakeThreeItems();
  Node(u"MachineTool")->selected = 1;
  Node(u"UserTool")->selected = 1;
  // A registry value is removed by exactly one platform operation: the
  // first one of the walk is the machine value's, and it fails.
  platform::image::ResetOperationCount();
  platform::image::FailOperationAt(1);
  DLL_Repair(list, nullptr, 0);
  platform::image::FailOperationAt(0);
  EXPECT_EQ(1, Node(u"MachineTool")->failed);
  EXPECT_EQ(0, Node(u"UserTool")->failed) << "the next node is still handled";
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"MachineTool"));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunOncePath, u"UserTool"));
#endif
}

TEST_F(RepairTest, FileHeldOpenFails) {
#ifndef _WIN32
  GTEST_SKIP() << "the Linux image lets an open file be deleted, as POSIX does";
#else
  MakeThreeItems();
  Node(u"Helper.lnk")->selected = 1;
  Node(u"UserTool")->selected = 1;
  {
    platform::ScopedFile held(platform::CreateFileW(filePath_.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    DLL_Repair(list, nullptr, 0);
  }
  EXPECT_EQ(1, Node(u"Helper.lnk")->failed);
  EXPECT_EQ(0, Node(u"UserTool")->failed);
  EXPECT_TRUE(testsys::FileExists(filePath_));
#endif
}

TEST_F(RepairTest, NodeWithAnUnterminatedNameRemovesNothing) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Tool", u"C:\\tool.exe");
  Check();
  ASSERT_EQ(1u, Nodes(list).size());
  for (char16_t& unit : list->name) unit = u'T';  // the host overwrote the terminator
  list->selected = 1;
  DLL_Repair(list, nullptr, 0);
  EXPECT_EQ(1, list->failed);
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"Tool"));
}

}  // namespace
}  // namespace cycle
