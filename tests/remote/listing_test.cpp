// The listing command: enabled items, then the items this module or the
// system configuration utility disabled, each with its source and status.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "records/run_data.h"
#include "tests/remote/remote_support.h"

namespace remotetest {
namespace {

const char16_t kHklm[] = u"HKEY_LOCAL_MACHINE";
const char16_t kHkcu[] = u"HKEY_CURRENT_USER";
const char16_t kListing[] = u"VEK_GetAutoRunList_RUN";

class ListingTest : public RemoteTest {
 protected:
  ReadBack List() {
    Invocation call = Run(CommandXml(kListing, {}));
    EXPECT_EQ(0, call.result);
    EXPECT_TRUE(call.hasByteOrderMark);
    EXPECT_TRUE(call.dateTimesWellFormed);
    ExpectListingLayout(call.text);
    ReadBack back = ReadResponse(ResponsePath(), kListingAttributes);
    EXPECT_TRUE(back.loaded) << Utf8(call.text);
    EXPECT_EQ(u"获取成功", back.result[u"ErrMsg"]);
    EXPECT_EQ(u"0", back.result[u"nResult"]);
    EXPECT_EQ(kListing, back.result[u"cmdName"]);
    return back;
  }

  // Lines end in CRLF; every AutoRunItem carries its attributes in the
  // documented order; the root follows the declaration on the first line.
  void ExpectListingLayout(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find(u"\r\n", at);
      ASSERT_NE(std::u16string::npos, end) << "last line without CRLF";
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>"
              u"<VEK_GetAutoRunList_RUNResponse>",
              lines.front());
    EXPECT_EQ(u"</VEK_GetAutoRunList_RUNResponse>", lines.back());
    for (const std::u16string& line : lines) {
      if (line.compare(0, 13, u"<AutoRunItem ") != 0) continue;
      std::vector<std::u16string> names;
      size_t pos = 12;
      while (pos < line.size() && line[pos] == u' ') {
        size_t equals = line.find(u"=\"", pos);
        ASSERT_NE(std::u16string::npos, equals);
        names.push_back(line.substr(pos + 1, equals - pos - 1));
        pos = line.find(u'"', equals + 2) + 1;
      }
      EXPECT_EQ(kListingAttributes, names) << Utf8(line);
      EXPECT_EQ(u"/>", line.substr(pos));
    }
  }
};

const Attributes* Find(const ReadBack& back, const std::u16string& name,
                       const std::u16string& status) {
  for (const Attributes& item : back.items)
    if (item.at(u"name") == name && item.at(u"status") == status) return &item;
  return nullptr;
}

TEST_F(ListingTest, EnabledItemsThenTheirDisabledTwins) {
  const std::u16string disabledKey = std::u16string(kRunOncePath) + u"\\TidyraDisable";
  SetValue(HKEY_CURRENT_USER, kRunOncePath, u"Twin", u"twin.exe /start");
  SetValue(HKEY_CURRENT_USER, disabledKey, u"Twin", u"rem twin.exe /start");
  const std::u16string disabledFile = AddFile(DisabledFolder(), u"old.lnk");
  AddFile(DisabledFolder(), u"desktop.ini");

  ReadBack back = List();
  ASSERT_EQ(3u, back.items.size());
  const Attributes& enabled = back.items[0];
  EXPECT_EQ(u"Twin", enabled.at(u"name"));
  EXPECT_EQ(u"1", enabled.at(u"status"));
  EXPECT_EQ(u"3", enabled.at(u"type"));
  EXPECT_EQ(kHkcu, enabled.at(u"mainkey"));
  EXPECT_EQ(kRunOncePath, enabled.at(u"subkey"));
  EXPECT_EQ(u"twin.exe /start", enabled.at(u"cmdline"));
  EXPECT_EQ(u"未知", enabled.at(u"level"));

  const Attributes& twin = back.items[1];
  EXPECT_EQ(u"Twin", twin.at(u"name"));
  EXPECT_EQ(u"2", twin.at(u"status"));
  EXPECT_EQ(u"3", twin.at(u"type"));
  EXPECT_EQ(kHkcu, twin.at(u"mainkey"));
  EXPECT_EQ(Utf8(disabledKey), Utf8(twin.at(u"subkey")));
  EXPECT_EQ(u"rem twin.exe /start", twin.at(u"cmdline"));

  const Attributes& file = back.items[2];
  EXPECT_EQ(u"old.lnk", file.at(u"name"));
  EXPECT_EQ(u"2", file.at(u"status"));
  EXPECT_EQ(u"11", file.at(u"type"));
  EXPECT_EQ(u"", file.at(u"mainkey"));
  EXPECT_EQ(Utf8(disabledFile), Utf8(file.at(u"subkey")));
}

TEST_F(ListingTest, MsconfigRecordsAreListedWithTheirRootsLongOnesCutAndHiddenOnesSkipped) {
  WriteKnowledgeBase(
      "<RunItem Name=\"HiddenReg\" Desc=\"\" CmdL=\"\" Type=\"1\" Status=\"1\" Level=\"3\"/>\r\n"
      "<RunItem Name=\"HiddenFile.lnk\" Desc=\"\" CmdL=\"\" Type=\"2\" Status=\"1\" Level=\"3\"/>\r\n"
      "<RunItem Name=\"Known\" Desc=\"A known helper\" CmdL=\"known\" Type=\"1\" Status=\"1\" "
      "Level=\"1\"/>\r\n");
  struct Record {
    const char16_t* key;
    const char16_t* item;
    const char16_t* hkey;
  };
  const Record records[] = {
      {u"a", u"Known", u"HKLM"},   {u"b", u"Lower", u"hklm"}, {u"c", u"HiddenReg", u"HKCU"},
      {u"d", u"User", u"HKCU"},    {u"e", u"Odd", u"HKEY_LOCAL_MACHINE"},
  };
  for (const Record& record : records) {
    const std::u16string key = std::u16string(kStartupRegPath) + u"\\" + record.key;
    SetValue(HKEY_LOCAL_MACHINE, key, u"item", record.item);
    SetValue(HKEY_LOCAL_MACHINE, key, u"command", std::u16string(u"C:\\app\\known.exe -") + record.key);
    SetValue(HKEY_LOCAL_MACHINE, key, u"hkey", record.hkey);
    SetValue(HKEY_LOCAL_MACHINE, key, u"key", kRunPath);
  }
  // A command line longer than the field is listed cut, not passed over.
  const std::u16string longKey = std::u16string(kStartupRegPath) + u"\\f";
  SetValue(HKEY_LOCAL_MACHINE, longKey, u"item", u"Padded");
  SetValue(HKEY_LOCAL_MACHINE, longKey, u"command", std::u16string(300, u'x'));
  SetValue(HKEY_LOCAL_MACHINE, longKey, u"hkey", u"HKCU");
  SetValue(HKEY_LOCAL_MACHINE, longKey, u"key", kRunPath);

  const std::u16string folderKey = std::u16string(kStartupFolderPath) + u"\\g";
  SetValue(HKEY_LOCAL_MACHINE, folderKey, u"item", u"Saved.lnk");
  SetValue(HKEY_LOCAL_MACHINE, folderKey, u"command", u"C:\\app\\saved.exe");
  SetValue(HKEY_LOCAL_MACHINE, folderKey, u"path", u"C:\\Startup\\Saved.lnk");
  const std::u16string hiddenKey = std::u16string(kStartupFolderPath) + u"\\h";
  SetValue(HKEY_LOCAL_MACHINE, hiddenKey, u"item", u"HiddenFile.lnk");

  ReadBack back = List();
  std::vector<std::u16string> names;
  for (const Attributes& item : back.items) names.push_back(item.at(u"name"));
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::u16string>{u"Known", u"Lower", u"Odd", u"Padded", u"Saved.lnk", u"User"}),
            names);
  const Attributes* padded = Find(back, u"Padded", u"2");
  ASSERT_NE(nullptr, padded);
  EXPECT_EQ(std::u16string(rundata::kCmdlineUnits - 1, u'x'), padded->at(u"cmdline"));

  struct Expected {
    const char16_t* name;
    const char16_t* mainkey;
  };
  for (const Expected& expected : {Expected{u"Known", kHklm}, Expected{u"Lower", u""},
                                   Expected{u"User", kHkcu}, Expected{u"Odd", u""}}) {
    SCOPED_TRACE(Utf8(expected.name));
    const Attributes* item = Find(back, expected.name, u"2");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(u"100", item->at(u"type"));
    EXPECT_EQ(expected.mainkey, item->at(u"mainkey"));
    EXPECT_EQ(kRunPath, item->at(u"subkey"));
  }
  const Attributes* known = Find(back, u"Known", u"2");
  ASSERT_NE(nullptr, known);
  EXPECT_EQ(u"安全", known->at(u"level"));
  EXPECT_EQ(u"A known helper", known->at(u"desc"));
  EXPECT_EQ(u"C:\\app\\known.exe -a", known->at(u"cmdline"));

  const Attributes* saved = Find(back, u"Saved.lnk", u"2");
  ASSERT_NE(nullptr, saved);
  EXPECT_EQ(u"101", saved->at(u"type"));
  EXPECT_EQ(u"", saved->at(u"mainkey"));
  EXPECT_EQ(u"C:\\Startup\\Saved.lnk", saved->at(u"subkey"));
  EXPECT_EQ(u"C:\\app\\saved.exe", saved->at(u"cmdline"));
  EXPECT_EQ(u"未知", saved->at(u"level"));
}

}  // namespace
}  // namespace remotetest

namespace remotetest {
namespace {

// Registry text is anybody's: a value name or command line with control
// characters, a lone surrogate or a non-character must not make the response
// unreadable. Forbidden units read back as U+FFFD; tab, line feed and
// carriage return survive the reader's attribute-value normalisation; a
// proper surrogate pair stays as it is.
TEST_F(ListingTest, TextXmlForbidsReadsBackAsReplacementCharacters) {
  const std::u16string name = std::u16string(u"A\x01" u"B") + char16_t(0xD800) + u"C" +
                              char16_t(0xFFFF) + u"\x1F" + char16_t(0xDC00);
  const std::u16string command = u"x.exe\t/a\n/b\r/c \xD83D\xDE00 \x0B";
  SetValue(HKEY_CURRENT_USER, kRunPath, name, command);

  ReadBack back = List();
  ASSERT_EQ(1u, back.items.size());
  EXPECT_EQ(u"A\xFFFD" u"B\xFFFD" u"C\xFFFD\xFFFD\xFFFD", back.items[0].at(u"name"));
  EXPECT_EQ(u"x.exe\t/a\n/b\r/c \xD83D\xDE00 \xFFFD", back.items[0].at(u"cmdline"));
}

}  // namespace
}  // namespace remotetest
