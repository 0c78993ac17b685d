// The command file and the dispatch of its commands, end to end through the
// export: what is refused, what runs, and the exact response documents.
#include <string>

#include "platform/platform.h"
#ifndef _WIN32
#include "platform/linux/system_image.h"
#endif
#include "framework/host_list.h"
#include "platform/wtext.h"
#include "plugin/exports.h"
#include "remote/command_file.h"
#include "tests/remote/remote_support.h"

namespace remotetest {
namespace {

const char16_t kHklm[] = u"HKEY_LOCAL_MACHINE";
const char16_t kHkcu[] = u"HKEY_CURRENT_USER";
const char16_t kDelete[] = u"VEK_DeleteAutoRun_RUN";
const char16_t kDisable[] = u"VEK_DisableAutoRun_RUN";
const char16_t kEnable[] = u"VEK_EnableAutoRun_RUN";

class CommandFileTest : public RemoteTest {
 protected:
  void ExpectCommandFileError(const Invocation& call) {
    EXPECT_EQ(-1, call.result);
    ASSERT_TRUE(call.responseExists);
    EXPECT_TRUE(call.hasByteOrderMark);
    EXPECT_TRUE(call.dateTimesWellFormed) << Utf8(call.text);
    EXPECT_EQ(Utf8(CommandFileErrorDocument()), Utf8(call.masked));
  }
  void ExpectNoResponse(const Invocation& call) {
    EXPECT_EQ(-1, call.result);
    EXPECT_FALSE(call.responseExists) << Utf8(call.text);
  }
};

TEST_F(CommandFileTest, NullArgumentTouchesNothing) {
  ASSERT_TRUE(testsys::WriteFileBytes(CommandPath(), CommandXml(u"VEK_GetAutoRunList_RUN", {})));
  EXPECT_EQ(-1, VEK_RemoteInvoke(nullptr, ResponsePath().c_str()));
  EXPECT_EQ(-1, VEK_RemoteInvoke(CommandPath().c_str(), nullptr));
  EXPECT_EQ(-1, VEK_RemoteInvoke(nullptr, nullptr));
  EXPECT_FALSE(testsys::FileExists(ResponsePath()));
}

TEST_F(CommandFileTest, ListingNameIsTrimmedAndEmptySystemGivesEmptyDetail) {
  Invocation call = Run(CommandXml(u"  VEK_GetAutoRunList_RUN \t", {}));
  EXPECT_EQ(0, call.result);
  ASSERT_TRUE(call.responseExists);
  EXPECT_TRUE(call.hasByteOrderMark);
  EXPECT_TRUE(call.dateTimesWellFormed) << Utf8(call.text);
  EXPECT_EQ(Utf8(EmptyListingDocument(u"获取成功")), Utf8(call.masked));
  EXPECT_EQ(2 + 2 * call.text.size(), call.bytes.size());
}

TEST_F(CommandFileTest, CommandNamesOutsideTheTableWriteNothing) {
  // Letter case counts; "_RUN" is tested over four characters only.
  for (const char16_t* name : {u"VEK_getAutoRunList_RUN", u"VEK_GetAutoRunList_RUNNER",
                               u"Other_RUN", u"_RUN"}) {
    SCOPED_TRACE(Utf8(name));
    ExpectNoResponse(Run(CommandXml(name, {})));
  }
}

TEST_F(CommandFileTest, UnusableFilesGiveTheCommandFileError) {
  const std::string cases[] = {
      CommandXml(u"VEK_GetAutoRunList", {}),         // no "_RUN" at the last "_"
      CommandXml(u"VEKGetAutoRunListRUN", {}),       // no "_" at all
      CommandXml(u"VEK_GetAutoRunList_RUN_X", {}),   // "_RUN" not at the last "_"
      "<command/>",                                  // no name
      "<command name=\"VEK_GetAutoRunList_RUN\">",   // not well formed
      "",                                            // no root element
      "<a name=\"VEK_GetAutoRunList_RUN\"/><b/>",    // two roots
      "<command name=\"VEK_GetAutoRunList_RUN\"><autorun name=\"x\" name=\"y\" "
      "mainkey=\"\" subkey=\"\" type=\"1\"/></command>",  // duplicate attribute
  };
  for (const std::string& xml : cases) {
    SCOPED_TRACE(xml);
    ExpectCommandFileError(Run(xml));
  }
  SCOPED_TRACE("missing file");
  ExpectCommandFileError(RunPath(testsys::ScratchFolder() + u"\\no such file.xml"));
}

TEST_F(CommandFileTest, OverlongNamesAndValuesAreRefusedNotCut) {
  std::u16string longName(300, u'A');
  longName += u"_RUN";
  ExpectCommandFileError(Run(CommandXml(longName, {})));

  // 259 units is the longest command name; it passes the reader and is
  // then an unknown command.
  std::u16string longest(255, u'B');
  longest += u"_RUN";
  ExpectNoResponse(Run(CommandXml(longest, {})));

  SetValue(HKEY_CURRENT_USER, kRunPath, u"Keep", u"keep.exe");
  for (int field = 0; field < 4; ++field) {
    SCOPED_TRACE(field);
    ItemSpec item = Item(u"Keep", kHkcu, kRunPath, u"1");
    std::u16string* target[] = {&item.name, &item.mainkey, &item.subkey, &item.type};
    *target[field] += std::u16string(261 - target[field]->size(), u' ');
    ExpectCommandFileError(Run(CommandXml(kDelete, {item})));
  }
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Keep"));

  // 260 units fit.
  ItemSpec fits = Item(std::u16string(260, u'n'), kHkcu, kRunPath, u"1");
  Invocation call = Run(CommandXml(kDelete, {fits}));
  EXPECT_EQ(0, call.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete, {{fits.name, kHkcu, kRunPath, 1, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(call.masked));
}

TEST_F(CommandFileTest, CommandWithoutItemsSucceedsWithEmptyDetail) {
  for (const char16_t* command : {kEnable, kDisable, kDelete}) {
    SCOPED_TRACE(Utf8(command));
    Invocation call = Run(CommandXml(command, {}));
    EXPECT_EQ(0, call.result);
    const std::u16string overall = command == kEnable    ? u"启用成功"
                                   : command == kDisable ? u"禁用成功"
                                                         : u"删除成功";
    EXPECT_EQ(Utf8(ItemResultsDocument(command, {}, overall, 0)), Utf8(call.masked));
  }
}

TEST_F(CommandFileTest, MissingAttributeAnywhereVoidsTheFileAndRunsNothing) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"First", u"first.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Second", u"second.exe");
  for (int missing = 0; missing < 4; ++missing) {
    SCOPED_TRACE(missing);
    ItemSpec broken = Item(u"Second", kHkcu, kRunPath, u"1");
    bool* present[] = {&broken.hasName, &broken.hasMainkey, &broken.hasSubkey, &broken.hasType};
    *present[missing] = false;
    ExpectCommandFileError(
        Run(CommandXml(kDisable, {Item(u"First", kHkcu, kRunPath, u"1"), broken})));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"First"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Second"));
  }
  // The listing reads its items too, and must find them complete.
  ItemSpec noType = Item(u"x", u"", u"", u"");
  noType.hasType = false;
  ExpectCommandFileError(Run(CommandXml(u"VEK_GetAutoRunList_RUN", {noType})));
}

TEST_F(CommandFileTest, OnlyDirectChildrenNamedExactlyAutorunAreItems) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Direct", u"direct.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Cased", u"cased.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Nested", u"nested.exe");
  const std::string item = " mainkey=\"HKEY_CURRENT_USER\" "
                           "subkey=\"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\" type=\"1\"";
  std::string xml = "<command name=\"VEK_DeleteAutoRun_RUN\">\r\n"
                    "<!-- a comment --> text <Autorun name=\"Cased\"" + item + "/>\r\n"
                    "<group><autorun name=\"Nested\"" + item + "/></group>\r\n"
                    "<autorun name=\"Direct\"" + item + "><autorun name=\"Nested\"" + item +
                    "/></autorun>\r\n</command>";
  Invocation call = Run(xml);
  EXPECT_EQ(0, call.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete, {{u"Direct", kHkcu, kRunPath, 1, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(call.masked));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Direct"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Cased"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Nested"));
}

TEST_F(CommandFileTest, EveryItemIsAttemptedAndFailuresAreReportedPerItem) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"One", u"one.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Two", u"two.exe");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Three", u"three.exe");
  // The short root name "HKCU" is not a root the operations know.
  Invocation call = Run(CommandXml(kDisable, {Item(u"One", kHkcu, kRunPath, u"1"),
                                              Item(u"Two", u"HKCU", kRunPath, u"1"),
                                              Item(u"Three", kHkcu, kRunPath, u"1")}));
  EXPECT_EQ(-1, call.result);
  const std::u16string disabled = std::u16string(kRunPath) + u"\\TidyraDisable";
  EXPECT_EQ(Utf8(ItemResultsDocument(kDisable,
                                     {{u"One", kHkcu, disabled, 1, 0, u"禁用自启动项成功"},
                                      {u"Two", u"HKCU", kRunPath, 1, 1, u"禁用自启动项失败"},
                                      {u"Three", kHkcu, disabled, 1, 0, u"禁用自启动项成功"}},
                                     u"禁用失败", 1)),
            Utf8(call.masked));
  EXPECT_EQ(u"rem one.exe", ValueData(HKEY_CURRENT_USER, disabled, u"One"));
  EXPECT_EQ(u"rem three.exe", ValueData(HKEY_CURRENT_USER, disabled, u"Three"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Two"));
}

TEST_F(CommandFileTest, TypeCodesWithoutDigitsAreZeroAndNegativeCodesAreFiles) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"Machine", u"machine.exe");
  const std::u16string folder = StartupFolder(CSIDL_STARTUP);
  const std::u16string file = AddFile(folder, u"negative.txt");
  Invocation call = Run(CommandXml(kDelete, {Item(u"Machine", kHklm, kRunPath, u"  abc"),
                                             Item(u"negative.txt", u"", file, u" -7x")}));
  EXPECT_EQ(0, call.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete,
                                     {{u"Machine", kHklm, kRunPath, 0, 0, u"删除自启动项成功"},
                                      {u"negative.txt", u"", file, -7, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(call.masked));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunPath, u"Machine"));
  EXPECT_FALSE(testsys::FileExists(file));
}

TEST_F(CommandFileTest, TypeCodesClampLikeTheRuntimeConversion) {
  const std::u16string folder = StartupFolder(CSIDL_STARTUP);
  const std::u16string file = folder + u"\\gone.txt";
  Invocation call = Run(CommandXml(kDelete, {Item(u"gone.txt", u"", file, u"99999999999"),
                                             Item(u"gone.txt", u"", file, u"-99999999999"),
                                             Item(u"gone.txt", u"", file, u"+12")}));
  EXPECT_EQ(0, call.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete,
                                     {{u"gone.txt", u"", file, 2147483647, 0, u"删除自启动项成功"},
                                      {u"gone.txt", u"", file, -2147483647 - 1, 0, u"删除自启动项成功"},
                                      {u"gone.txt", u"", file, 12, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(call.masked));
}

TEST_F(CommandFileTest, MsconfigItemsChangeTypeAfterEnableAndFolderDelete) {
  // No records exist, so every operation fails; the type changes anyway.
  auto items = [] {
    return std::vector<ItemSpec>{Item(u"RegItem", kHkcu, kRunPath, u"100"),
                                 Item(u"FolderItem", u"", u"C:\\nowhere\\FolderItem.lnk", u"101")};
  };
  Invocation enable = Run(CommandXml(kEnable, items()));
  EXPECT_EQ(-1, enable.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(
                kEnable,
                {{u"RegItem", kHkcu, kRunPath, 1, 1, u"启用自启动项失败"},
                 {u"FolderItem", u"", u"C:\\nowhere\\FolderItem.lnk", 1, 1, u"启用自启动项失败"}},
                u"启用失败", 1)),
            Utf8(enable.masked));

  Invocation remove = Run(CommandXml(kDelete, items()));
  EXPECT_EQ(-1, remove.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(
                kDelete,
                {{u"RegItem", kHkcu, kRunPath, 100, 1, u"删除自启动项失败"},
                 {u"FolderItem", u"", u"C:\\nowhere\\FolderItem.lnk", 1, 1, u"删除自启动项失败"}},
                u"删除失败", 1)),
            Utf8(remove.masked));

  // With a record in place the registry entry's delete succeeds and keeps 100.
  SetValue(HKEY_LOCAL_MACHINE, std::u16string(kStartupRegPath) + u"\\RegItem", u"item", u"RegItem");
  Invocation removeRecord = Run(CommandXml(kDelete, {Item(u"RegItem", kHkcu, kRunPath, u"100")}));
  EXPECT_EQ(0, removeRecord.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete, {{u"RegItem", kHkcu, kRunPath, 100, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(removeRecord.masked));
}

TEST_F(CommandFileTest, DeletingAFileAlreadyGoneSucceeds) {
  const std::u16string file = StartupFolder(CSIDL_COMMON_STARTUP) + u"\\never there.lnk";
  Invocation call = Run(CommandXml(kDelete, {Item(u"never there.lnk", u"", file, u"11")}));
  EXPECT_EQ(0, call.result);
  EXPECT_EQ(Utf8(ItemResultsDocument(kDelete, {{u"never there.lnk", u"", file, 11, 0, u"删除自启动项成功"}},
                                     u"删除成功", 0)),
            Utf8(call.masked));
}

TEST_F(CommandFileTest, ValuesAreEscapedInTheFileAndReadBackUnchanged) {
  const std::u16string name = u"a<b & \"c\" 'd'> 启动";
  SetValue(HKEY_CURRENT_USER, kRunPath, name, u"x.exe");
  Invocation call = Run(CommandXml(kDelete, {Item(name, kHkcu, kRunPath, u"1")}));
  EXPECT_EQ(0, call.result);
  EXPECT_NE(std::u16string::npos,
            call.text.find(u"name=\"a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt; 启动\""));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, name));

  ReadBack back = ReadResponse(ResponsePath(), kItemResultAttributes);
  ASSERT_TRUE(back.loaded);
  ASSERT_EQ(1u, back.items.size());
  EXPECT_EQ(Utf8(name), Utf8(back.items[0][u"name"]));
  EXPECT_EQ(Utf8(kRunPath), Utf8(back.items[0][u"subkey"]));
  EXPECT_EQ(u"删除自启动项成功", back.items[0][u"ErrMsg"]);
  EXPECT_EQ(u"VEK_DeleteAutoRun_RUN", back.result[u"cmdName"]);
  EXPECT_EQ(u"0", back.result[u"nResult"]);
  EXPECT_EQ(u"删除成功", back.result[u"ErrMsg"]);
}

TEST_F(CommandFileTest, CommandFilesInOtherEncodingsAreRead) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"启动项", u"x.exe");
  std::u16string xml = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><c name=\"VEK_DeleteAutoRun_RUN\">"
                       u"<autorun name=\"启动项\" mainkey=\"HKEY_CURRENT_USER\" subkey=\"";
  xml += kRunPath;
  xml += u"\" type=\"1\"/></c>";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : xml) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  Invocation call = Run(bytes);
  EXPECT_EQ(0, call.result);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"启动项"));
}

// The system identifier by which the XML library would find a file of the
// system under test: its host path on Linux, its own path on Windows.
std::string SystemId(const std::u16string& windowsPath) {
#ifdef _WIN32
  return Utf8(windowsPath);
#else
  return platform::image::HostPath(windowsPath.c_str());
#endif
}

TEST_F(CommandFileTest, ExternalResourcesAreNeverFetched) {
  SetValue(HKEY_CURRENT_USER, kRunPath, u"Victim", u"victim.exe");
  const std::u16string folder = testsys::ScratchFolder();
  // The entity's text would delete the value if it were read.
  const std::u16string entity = folder + u"\\entity.xml";
  ASSERT_TRUE(testsys::WriteFileBytes(
      entity,
      "<autorun name=\"Victim\" mainkey=\"HKEY_CURRENT_USER\" "
      "subkey=\"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\" type=\"1\"/>"));
  // The DTD would give the root its command name if it were read.
  const std::u16string dtd = folder + u"\\defaults.dtd";
  ASSERT_TRUE(testsys::WriteFileBytes(
      dtd, "<!ATTLIST command name CDATA \"VEK_GetAutoRunList_RUN\">"));
  ASSERT_FALSE(SystemId(entity).empty());

  for (const std::string& id : {SystemId(entity), std::string("entity.xml")}) {
    SCOPED_TRACE(id);
    ExpectCommandFileError(Run("<!DOCTYPE command [<!ENTITY ext SYSTEM \"" + id + "\">]>"
                               "<command name=\"VEK_DeleteAutoRun_RUN\">&ext;</command>"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunPath, u"Victim"));
  }
  ExpectCommandFileError(Run("<!DOCTYPE command SYSTEM \"" + SystemId(dtd) + "\"><command/>"));
  ExpectCommandFileError(Run("<!DOCTYPE command [<!ENTITY % p SYSTEM \"" + SystemId(dtd) +
                             "\"> %p;]><command/>"));
  ExpectCommandFileError(Run("<!DOCTYPE command [<!ENTITY net SYSTEM "
                             "\"http://127.0.0.1:9/x.xml\">]><command name=\"VEK_DeleteAutoRun_RUN\">"
                             "&net;</command>"));

  // An internal DTD subset is plain input and still works.
  Invocation call = Run("<!DOCTYPE command [<!ENTITY cmd \"VEK_DeleteAutoRun_RUN\">]>"
                        "<command name=\"&cmd;\"/>");
  EXPECT_EQ(0, call.result);
}

TEST_F(CommandFileTest, EntityExpansionIsBounded) {
  std::string xml = "<!DOCTYPE command [<!ENTITY a0 \"VEK_\">";
  for (int i = 1; i < 12; ++i)
    xml += "<!ENTITY a" + std::to_string(i) + " \"&a" + std::to_string(i - 1) + ";&a" +
           std::to_string(i - 1) + ";&a" + std::to_string(i - 1) + ";&a" + std::to_string(i - 1) +
           ";\">";
  // Expanded in full, the text would be 4^11 copies; the listing would run.
  xml += "]><command name=\"VEK_GetAutoRunList_RUN\">&a11;</command>";
  ExpectCommandFileError(Run(xml));
}

}  // namespace
}  // namespace remotetest

namespace remotetest {
namespace {

// A command file of 20,000 items, with text and other elements between
// them, reads whole and in order (the children are walked once; indexing
// the node list made such a file take more than a minute).
TEST_F(CommandFileTest, LargeCommandFileReadsEveryItemInOrder) {
  constexpr int kItems = 20000;
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<command name=\"VEK_DeleteAutoRun_RUN\">\n";
  for (int i = 0; i < kItems; ++i) {
    xml += "<autorun name=\"item" + std::to_string(i) +
           "\" mainkey=\"HKEY_CURRENT_USER\" subkey=\"k\" type=\"" + std::to_string(i % 7) + "\"/>\n";
    if (i % 1000 == 0) xml += "<other/><!-- note -->text\n";
  }
  xml += "</command>\n";
  ASSERT_TRUE(testsys::WriteFileBytes(CommandPath(), xml));

  RemoteCommand command = {};
  ASSERT_EQ(0, ReadCommandFile(CommandPath().c_str(), command));
  int count = 0;
  bool inOrder = true;
  for (const CommandItem* item = command.items; item != nullptr; item = item->next, ++count)
    inOrder = inOrder && std::u16string(item->name) == u"item" + wtext::FromInt(count) &&
              item->type == count % 7;
  FreeHostList(command.items);
  EXPECT_EQ(kItems, count);
  EXPECT_TRUE(inOrder);
}

}  // namespace
}  // namespace remotetest
