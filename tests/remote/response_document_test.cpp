// The response document against committed reference responses: the text
// that CXmlResult builds must equal, unit for unit, the reference files in
// tests/remote/responses/ (UTF-8 there; the time stamp is compared by form).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/wtext.h"
#include "records/autorun_node.h"
#include "records/remote_command.h"
#include "remote/cxml_result.h"
#include "tests/support/test_system.h"

namespace {

// The reference file as UTF-16 text.
std::u16string Reference(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(testsys::ReadFileBytes(testsys::SourceTreePath("tests/remote/responses/" + name), &bytes))
      << name;
  return wtext::FromUtf8(bytes);
}

// DateTime="..." becomes DateTime="*" once its value has the documented
// form (yyyy-mm-dd hh:mm:ss).
std::u16string WithoutTime(std::u16string text) {
  const std::u16string key = u"DateTime=\"";
  size_t at = text.find(key);
  if (at == std::u16string::npos) return text;
  at += key.size();
  size_t end = text.find(u'"', at);
  std::u16string value = text.substr(at, end - at);
  EXPECT_EQ(19u, value.size()) << "DateTime value";
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    const bool digit = c >= u'0' && c <= u'9';
    if (i == 4 || i == 7) EXPECT_EQ(u'-', c);
    else if (i == 10) EXPECT_EQ(u' ', c);
    else if (i == 13 || i == 16) EXPECT_EQ(u':', c);
    else EXPECT_TRUE(digit) << "unit " << i;
  }
  return text.replace(at, end - at, u"*");
}

AutoRunItemNode Node(const char16_t* name, int32_t status, int32_t type, const char16_t* cmdline) {
  AutoRunItemNode node;
  std::memset(&node, 0, sizeof node);
  wtext::Copy(node.name, name);
  node.status = status;
  node.type = type;
  wtext::Copy(node.level, u"未知");
  wtext::Copy(node.desc, u"说明 <b> & \"q\"");
  wtext::Copy(node.cmdline, cmdline);
  wtext::Copy(node.mainkey, u"HKEY_CURRENT_USER");
  wtext::Copy(node.subkey, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  wtext::Copy(node.company, u"A & B's");
  node.size = 12345;
  wtext::Copy(node.version, u"1.2.3.4");
  return node;
}

class ResponseDocument : public ::testing::Test {
 protected:
  std::u16string Path(const char16_t* name) { return testsys::ScratchFolder() + u"\\" + name; }
  testsys::CleanSystem system_;
};

TEST_F(ResponseDocument, ListingMatchesTheReference) {
  AutoRunItemNode second = Node(u"Disabled 'x'", 2, 11, u"C:\\Apps\\b.exe");
  AutoRunItemNode first = Node(u"Tool <one>", 1, 1, u"\"C:\\Program Files\\a.exe\" /x=\"1\"");
  first.next = &second;
  RemoteCommand command;
  std::memset(&command, 0, sizeof command);
  wtext::Copy(command.name, u"VEK_GetAutoRunList_RUN");
  const std::u16string path = Path(u"listing.xml");
  CXmlResult result(path.c_str());
  EXPECT_EQ(1, result.BuildAutoRunList(&first, command.name));
  EXPECT_TRUE(result.AddResultAndSave(command, u"获取成功", 0));
  EXPECT_EQ(Reference("listing.xml"), WithoutTime(result.Document().GetText()));
}

// Text XML 1.0 forbids is written as U+FFFD, tab, line feed and carriage
// return as references; a surrogate pair is kept.
TEST_F(ResponseDocument, ListingWithForbiddenCharactersMatchesTheReference) {
  AutoRunItemNode node = Node(u"Tab\tLF\nCR\r", 1, 1, u"");
  const std::u16string cmdline = std::u16string(u"x\x01\x1F") + char16_t(0xD800) + u"y" +
                                 char16_t(0xFFFE) + char16_t(0xD83D) + char16_t(0xDE00) +
                                 char16_t(0xDC00);
  wtext::Copy(node.cmdline, cmdline);
  RemoteCommand command;
  std::memset(&command, 0, sizeof command);
  wtext::Copy(command.name, u"VEK_GetAutoRunList_RUN");
  const std::u16string path = Path(u"forbidden.xml");
  CXmlResult result(path.c_str());
  EXPECT_EQ(1, result.BuildAutoRunList(&node, command.name));
  EXPECT_TRUE(result.AddResultAndSave(command, u"获取成功", 0));
  EXPECT_EQ(Reference("listing_forbidden_characters.xml"), WithoutTime(result.Document().GetText()));
}

TEST_F(ResponseDocument, ItemResultsMatchTheReference) {
  CommandItem failed;
  std::memset(&failed, 0, sizeof failed);
  wtext::Copy(failed.name, u"Gone & \"lost\"");
  wtext::Copy(failed.mainkey, u"HKEY_LOCAL_MACHINE");
  wtext::Copy(failed.subkey, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  failed.type = 1;
  failed.nResult = 1;
  CommandItem done = failed;
  wtext::Copy(done.name, u"启动项");
  done.nResult = 0;
  done.next = &failed;
  RemoteCommand command;
  std::memset(&command, 0, sizeof command);
  wtext::Copy(command.name, u"VEK_DisableAutoRun_RUN");
  command.items = &done;
  const std::u16string path = Path(u"items.xml");
  CXmlResult result(path.c_str());
  EXPECT_EQ(1, result.BuildItemResults(&done, command.name));
  EXPECT_TRUE(result.AddResultAndSave(command, u"操作完成", 0));
  EXPECT_EQ(Reference("item_results.xml"), WithoutTime(result.Document().GetText()));
}

TEST_F(ResponseDocument, CommandFileErrorMatchesTheReference) {
  const std::u16string path = Path(u"error.xml");
  CXmlResult result(path.c_str());
  EXPECT_TRUE(result.WriteCommandFileError());
  EXPECT_EQ(Reference("command_file_error.xml"), WithoutTime(result.Document().GetText()));
}

}  // namespace
