// Loading RunLib.xml from beside the module into the three knowledge lists,
// and what a scan makes of it. The same sources run for both editions; the
// field widths (and so the longest texts an entry may carry) follow the
// edition's record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "knowledge/knowledge_base.h"
#include "knowledge/scan_context.h"
#include "inventory/scan_driver.h"
#include "platform/wtext.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

namespace {

const char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::u16string KnowledgeBasePath() { return testsys::ModuleFolder() + u"common\\config\\check\\RunLib.xml"; }

std::string Utf8(const std::u16string& text) { return wtext::ToUtf8(text); }

// <RunItem .../> with the given attribute text (already escaped).
std::string Entry(const std::string& attributes) { return "  <RunItem " + attributes + "/>\n"; }

std::string Document(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RunLib>\n" + entries + "</RunLib>\n";
}

std::u16string Text(const char16_t* field) { return std::u16string(field); }

class KnowledgeBaseTest : public ::testing::Test {
 protected:
  KnowledgeBaseTest() : context(nullptr, nullptr, 0) {}
  void WriteKnowledgeBase(const std::string& bytes) {
    ASSERT_TRUE(testsys::WriteFileBytes(KnowledgeBasePath(), bytes)) << Utf8(KnowledgeBasePath());
  }
  int Total() const {
    return context.safeList.GetSize() + context.dangerList.GetSize() + context.hiddenList.GetSize();
  }
  void PrefillSafe(const char16_t* name) {
    _RunData entry = {};
    entry.kind = kKindRegistryValue;
    entry.level = kLevelSafe;
    wtext::Copy(entry.name, name);
    context.safeList.Add(entry);
  }

  testsys::CleanSystem system;
  ScanContext context;
};

TEST_F(KnowledgeBaseTest, EntriesGoToTheListOfTheirLevelInFileOrder) {
  WriteKnowledgeBase(Document(
      Entry("Name=\"a\" Desc=\"甲\" CmdL=\"a.exe\" Param1=\"HKEY_LOCAL_MACHINE\" Param2=\"k\" Type=\"1\" Status=\"1\" Level=\"1\"") +
      Entry("Name=\"b\" Type=\"2\" Status=\"3\" Level=\"2\"") +
      Entry("Name=\"c\" Type=\"3\" Status=\"2\" Level=\"3\"") +
      Entry("Name=\"d\" Type=\"1\" Level=\"1\"") +
      Entry("Name=\"unknown\" Type=\"1\" Level=\"4\"") + Entry("Name=\"nolevel\" Type=\"1\"") +
      Entry("Name=\"blank\" Type=\"1\" Level=\" 1\"") + Entry("Name=\"zero\" Type=\"1\" Level=\"01\"") +
      Entry("Name=\"odd\" Type=\" 1\" Status=\"01\" Level=\"2\"") +
      "  <Other Name=\"x\" Level=\"1\"/>\n  <Group><RunItem Name=\"deep\" Level=\"1\"/></Group>\n"));
  LoadKnowledgeBase(context);

  ASSERT_EQ(2, context.safeList.GetSize());
  const _RunData& a = context.safeList.GetAt(0);
  EXPECT_EQ(u"a", Text(a.name));
  EXPECT_EQ(u"甲", Text(a.desc));
  EXPECT_EQ(u"a.exe", Text(a.cmdline));
  EXPECT_EQ(u"HKEY_LOCAL_MACHINE", Text(a.mainkey));
  EXPECT_EQ(u"k", Text(a.subkey));
  EXPECT_EQ(1, a.kind);
  EXPECT_EQ(1, a.status);
  EXPECT_EQ(kLevelSafe, a.level);
  EXPECT_EQ(0, a.type);
  EXPECT_EQ(u"", Text(a.company));
  EXPECT_EQ(u"d", Text(context.safeList.GetAt(1).name));

  ASSERT_EQ(2, context.dangerList.GetSize());
  EXPECT_EQ(2, context.dangerList.GetAt(0).kind);
  EXPECT_EQ(3, context.dangerList.GetAt(0).status);
  const _RunData& odd = context.dangerList.GetAt(1);
  EXPECT_EQ(u"odd", Text(odd.name));
  EXPECT_EQ(0, odd.kind);  // " 1" is not "1"
  EXPECT_EQ(0, odd.status);

  ASSERT_EQ(1, context.hiddenList.GetSize());
  EXPECT_EQ(3, context.hiddenList.GetAt(0).kind);
  EXPECT_EQ(kLevelHidden, context.hiddenList.GetAt(0).level);
}

TEST_F(KnowledgeBaseTest, AttributeNamesMatchExactly) {
  WriteKnowledgeBase(Document(Entry("name=\"lower\" NAME=\"upper\" Desc=\"d\" type=\"1\" Type=\"2\" Level=\"1\"")));
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.safeList.GetSize());
  EXPECT_EQ(u"", Text(context.safeList.GetAt(0).name));
  EXPECT_EQ(2, context.safeList.GetAt(0).kind);
}

TEST_F(KnowledgeBaseTest, LoadingTwiceLeavesOneCopy) {
  WriteKnowledgeBase(Document(Entry("Name=\"a\" Type=\"1\" Level=\"1\"") + Entry("Name=\"b\" Type=\"1\" Level=\"2\"") +
                              Entry("Name=\"c\" Type=\"1\" Level=\"3\"")));
  LoadKnowledgeBase(context);
  LoadKnowledgeBase(context);
  EXPECT_EQ(1, context.safeList.GetSize());
  EXPECT_EQ(1, context.dangerList.GetSize());
  EXPECT_EQ(1, context.hiddenList.GetSize());
}

TEST_F(KnowledgeBaseTest, MissingOrMalformedFileKeepsWhatTheListsHeld) {
  PrefillSafe(u"kept");
  LoadKnowledgeBase(context);  // no file at all
  ASSERT_EQ(1, context.safeList.GetSize());

  WriteKnowledgeBase("<?xml version=\"1.0\"?>\n<RunLib><RunItem Name=\"a\" Level=\"1\"></RunLib>");
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.safeList.GetSize());
  EXPECT_EQ(u"kept", Text(context.safeList.GetAt(0).name));

  WriteKnowledgeBase("");
  LoadKnowledgeBase(context);
  EXPECT_EQ(1, Total());
}

TEST_F(KnowledgeBaseTest, DocumentWithoutEntriesEmptiesTheLists) {
  PrefillSafe(u"old");
  WriteKnowledgeBase(Document("  <Other/>\n"));
  LoadKnowledgeBase(context);
  EXPECT_EQ(0, Total());
}

// A text longer than its field (units, not bytes) makes the entry unusable:
// it is skipped, and the entries after it still load.
TEST_F(KnowledgeBaseTest, EntryWithAnOverlongAttributeIsSkipped) {
  struct Field {
    const char* attribute;
    size_t units;
  } const fields[] = {
      {"Name", rundata::kNameUnits},       {"Param1", rundata::kMainkeyUnits},
      {"Param2", rundata::kSubkeyUnits},   {"Desc", rundata::kDescUnits},
      {"CmdL", rundata::kCmdlineUnits},
  };
  std::string entries;
  for (const Field& field : fields) {
    std::u16string fits(field.units - 1, u'中');
    std::u16string tooLong(field.units, u'中');
    std::string nameOf = std::string(field.attribute) == "Name" ? "" : " Name=\"n\"";
    entries += Entry(std::string(field.attribute) + "=\"" + Utf8(fits) + "\"" + nameOf + " Type=\"1\" Level=\"1\"");
    entries += Entry(std::string(field.attribute) + "=\"" + Utf8(tooLong) + "\"" + nameOf + " Type=\"1\" Level=\"2\"");
  }
  entries += Entry("Name=\"" + Utf8(std::u16string(rundata::kNameUnits, u'x')) + "\" Type=\"1\" Level=\"3\"");
  entries += Entry("Name=\"after\" Type=\"1\" Level=\"2\"");
  WriteKnowledgeBase(Document(entries));
  LoadKnowledgeBase(context);

  ASSERT_EQ(5, context.safeList.GetSize());
  EXPECT_EQ(static_cast<size_t>(rundata::kNameUnits - 1), wtext::Length(context.safeList.GetAt(0).name));
  EXPECT_EQ(static_cast<size_t>(rundata::kMainkeyUnits - 1), wtext::Length(context.safeList.GetAt(1).mainkey));
  EXPECT_EQ(static_cast<size_t>(rundata::kSubkeyUnits - 1), wtext::Length(context.safeList.GetAt(2).subkey));
  EXPECT_EQ(static_cast<size_t>(rundata::kDescUnits - 1), wtext::Length(context.safeList.GetAt(3).desc));
  EXPECT_EQ(static_cast<size_t>(rundata::kCmdlineUnits - 1), wtext::Length(context.safeList.GetAt(4).cmdline));
  ASSERT_EQ(1, context.dangerList.GetSize());
  EXPECT_EQ(u"after", Text(context.dangerList.GetAt(0).name));
  EXPECT_EQ(0, context.hiddenList.GetSize());
}

// Entries are read straight into their list: one that is given up half
// written (its name stored, its description too long) must leave nothing
// behind for the entry read into the same place after it.
TEST_F(KnowledgeBaseTest, ASkippedEntryLeavesNoTraceInTheNextOne) {
  const std::string next = Entry("Name=\"b\" Type=\"1\" Level=\"1\"");
  WriteKnowledgeBase(Document(next));
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.safeList.GetSize());
  const _RunData alone = context.safeList.GetAt(0);

  const std::string tooLong(rundata::kDescUnits, 'd');
  WriteKnowledgeBase(Document(Entry("Name=\"a long name\" CmdL=\"a.exe\" Param1=\"k\" Desc=\"" + tooLong +
                                    "\" Type=\"2\" Level=\"1\"") +
                              next));
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.safeList.GetSize());
  EXPECT_EQ(0, std::memcmp(&alone, &context.safeList.GetAt(0), sizeof alone));
}

TEST_F(KnowledgeBaseTest, Utf16FileWithByteOrderMark) {
  std::u16string text = wtext::FromUtf8(
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<RunLib>" +
      Entry("Name=\"微信\" Desc=\"即时通讯\" CmdL=\"WeChat.exe\" Type=\"1\" Level=\"1\"") + "</RunLib>\n");
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  WriteKnowledgeBase(bytes);
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.safeList.GetSize());
  EXPECT_EQ(u"微信", Text(context.safeList.GetAt(0).name));
  EXPECT_EQ(u"即时通讯", Text(context.safeList.GetAt(0).desc));
}

TEST_F(KnowledgeBaseTest, Gb2312DeclaredFile) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's MSXML refuses documents declared as GB2312 (Windows' MSXML reads them)";
#endif
  // "测试说明" in GB2312.
  WriteKnowledgeBase("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<RunLib>\n"
                     "  <RunItem Name=\"gb\" Desc=\"\xB2\xE2\xCA\xD4\xCB\xB5\xC3\xF7\" Type=\"1\" Level=\"2\"/>\n"
                     "</RunLib>\n");
  LoadKnowledgeBase(context);
  ASSERT_EQ(1, context.dangerList.GetSize());
  EXPECT_EQ(u"测试说明", Text(context.dangerList.GetAt(0).desc));
}

// Through the scan driver: the knowledge base decides the levels, and
// without a usable one every item is unknown and the scan still runs.
class KnowledgeScanTest : public KnowledgeBaseTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunKey, u"GoodTool", u"C:\\Tools\\good.exe"));
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunKey, u"BadTool", u"C:\\Users\\a\\AppData\\bad.exe"));
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunKey, u"Quiet", u"C:\\quiet.exe"));
  }
  const _RunData* Find(const char16_t* name) const {
    for (int i = 0; i < context.inventory.GetSize(); ++i)
      if (wtext::Equal(context.inventory.GetAt(i).name, name)) return &context.inventory.GetAt(i);
    return nullptr;
  }
};

TEST_F(KnowledgeScanTest, LevelsComeFromTheKnowledgeBase) {
  WriteKnowledgeBase(Document(Entry("Name=\"goodtool\" Desc=\"好\" Type=\"1\" Level=\"1\"") +
                              Entry("Name=\"BadTool\" Desc=\"坏\" CmdL=\"\\AppData\\\" Type=\"1\" Level=\"2\"") +
                              Entry("Name=\"Quiet\" Type=\"1\" Level=\"3\"")));
  ScanAutoRunItems(context);
  ASSERT_NE(nullptr, Find(u"GoodTool"));
  EXPECT_EQ(kLevelSafe, Find(u"GoodTool")->level);
  EXPECT_EQ(u"好", Text(Find(u"GoodTool")->desc));
  ASSERT_NE(nullptr, Find(u"BadTool"));
  EXPECT_EQ(kLevelDangerous, Find(u"BadTool")->level);
  EXPECT_EQ(nullptr, Find(u"Quiet"));
}

TEST_F(KnowledgeScanTest, MalformedKnowledgeBaseLeavesEveryItemUnknown) {
  WriteKnowledgeBase("<RunLib><RunItem Name=\"GoodTool\" Type=\"1\" Level=\"1\"><RunLib>");
  ScanAutoRunItems(context);
  ASSERT_EQ(3, context.inventory.GetSize());
  for (int i = 0; i < context.inventory.GetSize(); ++i) EXPECT_EQ(kLevelUnknown, context.inventory.GetAt(i).level);
}

// The shipped knowledge base: it loads, and every entry reaches a list with
// a known kind, i.e. no entry has a bad level or a text too long for the
// edition's fields.
TEST_F(KnowledgeBaseTest, ShippedKnowledgeBaseLoadsWhole) {
  std::string bytes;
  ASSERT_TRUE(testsys::ReadFileBytes(testsys::SourceTreePath("data/RunLib.xml"), &bytes));
  int entries = 0;
  for (size_t at = bytes.find("<RunItem "); at != std::string::npos; at = bytes.find("<RunItem ", at + 1)) ++entries;
  WriteKnowledgeBase(bytes);
  LoadKnowledgeBase(context);

  EXPECT_GE(entries, 150);
  EXPECT_EQ(entries, Total());
  EXPECT_GT(context.safeList.GetSize(), 0);
  EXPECT_GT(context.dangerList.GetSize(), 0);
  EXPECT_GT(context.hiddenList.GetSize(), 0);
  const RunDataArray* lists[] = {&context.safeList, &context.dangerList, &context.hiddenList};
  for (const RunDataArray* list : lists) {
    for (int i = 0; i < list->GetSize(); ++i) {
      const _RunData& entry = list->GetAt(i);
      EXPECT_TRUE(entry.kind == kKindRegistryValue || entry.kind == kKindFolderFile) << Utf8(entry.name);
      EXPECT_EQ(1, entry.status) << Utf8(entry.name);
      EXPECT_NE(0u, wtext::Length(entry.name));
      EXPECT_NE(0u, wtext::Length(entry.desc)) << Utf8(entry.name);
    }
  }
}

}  // namespace

namespace {

// A module path longer than the 260-unit buffer: cut to fit, its last
// backslash would be that of a parent folder, whose knowledge base must not
// be read. The module's folder is then unknown, and so is the knowledge base.
TEST_F(KnowledgeBaseTest, ModulePathThatDoesNotFitMeansNoKnowledgeBase) {
  const std::u16string parent = u"C:\\cut\\";
  const std::u16string deep = parent + std::u16string(300, u'd');
  ASSERT_TRUE(testsys::WriteFileBytes(parent + u"common\\config\\check\\RunLib.xml",
                                      Document(Entry("Name=\"parent\" Type=\"1\" Level=\"1\""))));
  platform::SetModuleFileNameForTesting((deep + u"\\runvane.dll").c_str());
  PrefillSafe(u"kept");
  LoadKnowledgeBase(context);
  platform::SetModuleFileNameForTesting(testsys::ModulePath().c_str());
  ASSERT_EQ(1, Total()) << "nothing was read from the parent folder";
  EXPECT_EQ(u"kept", Text(context.safeList.GetAt(0).name));
}

}  // namespace
