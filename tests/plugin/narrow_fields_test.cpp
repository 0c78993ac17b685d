// Texts longer than the record's fields: in the check-only edition the name,
// mainkey and subkey fields hold 127 characters and the others 255, so
// ordinary input exceeds them. Such a text never overruns a field and never
// ends the scan; a startup file stays removable by its whole path.
#include <string>

#include "platform/wtext.h"
#include "tests/plugin/cycle_support.h"

namespace cycle {
namespace {

constexpr size_t kNameMax = rundata::kNameUnits - 1;
constexpr size_t kDescMax = rundata::kDescUnits - 1;
constexpr size_t kCmdlineMax = rundata::kCmdlineUnits - 1;

class NarrowFieldsTest : public CycleTest {};

TEST_F(NarrowFieldsTest, OverLongKnowledgeBaseTextsNeitherOverrunNorEndTheScan) {
  const std::string longName(200, 'L');
  WriteKnowledgeBase({
      {longName, "long name", "", std::string(200, 'p'), std::string(200, 'q'), "1", "1", "2"},
      {"LongDesc", std::string(400, 'd'), std::string(300, 'c'), "", "", "1", "1", "2"},
      {"WideDesc", std::string(300, 'w'), "", "", "", "1", "1", "2"},
      {"Plain", "plain entry", "", "", "", "1", "1", "1"},
  });
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"WideDesc", u"C:\\wide.exe");
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Plain", u"C:\\plain.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"LongDesc", u"C:\\long.exe");
  Check();
  EXPECT_EQ(3, count);
  ASSERT_EQ(3u, Nodes(list).size());
  const CheckNode* plain = FindNode(list, u"Plain");
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(u"安全", Text(plain->levelText)) << "entries after the long ones still work";
  EXPECT_EQ(u"plain entry", Text(plain->desc));
  for (const CheckNode* node : Nodes(list)) EXPECT_LE(wtext::Length(node->desc), kDescMax);
  const CheckNode* wide = FindNode(list, u"WideDesc");
  ASSERT_NE(nullptr, wide);
  if (Text(wide->levelText) == u"危险") {
    // Kept and cut to the field.
    EXPECT_EQ(std::u16string(kDescMax, u'w'), Text(wide->desc));
  }
}

TEST_F(NarrowFieldsTest, LongStartupFileNamesAndPathsStayWithinTheirFields) {
  const std::u16string folder = StartupFolder(CSIDL_COMMON_STARTUP);
  // A path of 128 characters or more under a name that fits, and a name of
  // 128 characters or more; the user folder comes after them in the scan.
  const std::u16string midName =
      std::u16string(folder.size() < 130 ? 130 - folder.size() : 4, u'm') + u".lnk";
  const std::u16string longName = std::u16string(146, u'n') + u".lnk";
  const std::u16string midPath = AddStartupFile(CSIDL_COMMON_STARTUP, midName);
  const std::u16string longPath = AddStartupFile(CSIDL_COMMON_STARTUP, longName);
  ASSERT_GE(midPath.size(), 128u);
  ASSERT_LE(longPath.size(), kCmdlineMax) << "the image's folder is deeper than expected";
  AddStartupFile(CSIDL_STARTUP, u"After.lnk");

  Check();
  EXPECT_NE(nullptr, FindNode(list, u"After.lnk")) << "the scan goes on past long entries";
  for (const CheckNode* node : Nodes(list)) {
    EXPECT_LE(wtext::Length(node->name), kNameMax);
    if (node->type != 11) continue;
    // A listed file keeps its whole path: the repair deletes by it.
    const std::u16string path = Text(node->cmdline);
    EXPECT_TRUE(path == midPath || path == longPath) << Utf8(path);
  }
  const CheckNode* mid = FindNode(list, midName);
  // Its name fits every edition and its path fits the command line; only the
  // display copy of the path in subkey is longer than 127 characters, and a
  // display text is cut, never a reason to lose the item.
  ASSERT_NE(nullptr, mid) << "a file whose path has 128 characters or more is missing";
  EXPECT_EQ(midPath, Text(mid->cmdline));

  // Whatever was listed can be removed through its node.
  for (const CheckNode* node : Nodes(list)) const_cast<CheckNode*>(node)->selected = 1;
  DLL_Repair(list, nullptr, 0);
  for (const CheckNode* node : Nodes(list)) EXPECT_EQ(0, node->failed) << Utf8(Text(node->cmdline));
  EXPECT_FALSE(testsys::FileExists(midPath));
}

TEST_F(NarrowFieldsTest, LongestRegistryTextsTheScanReadsFitEitherEdition) {
  // 127 characters of name and 255 of data (512 bytes with the terminator)
  // are the most the scan reads; both fit the narrow fields whole.
  const std::u16string name(127, u'v');
  const std::u16string data = u"C:\\" + std::u16string(248, u'p') + u".exe";
  SetValue(HKEY_CURRENT_USER, kRunPath, name, data);
  Check();
  std::vector<const CheckNode*> nodes = Nodes(list);
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(name, Text(nodes[0]->name));
  ASSERT_EQ(255u, data.size());
  EXPECT_EQ(data, Text(nodes[0]->cmdline));
  ASSERT_EQ(1u, Current().texts.size());
  EXPECT_EQ(data, Current().texts[0]);
  const_cast<CheckNode*>(nodes[0])->selected = 1;
  DLL_Repair(list, nullptr, 0);
  EXPECT_EQ(0, nodes[0]->failed);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, name));
}

}  // namespace
}  // namespace cycle
