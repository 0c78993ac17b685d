// The reader and writer of Wine's registry files: every value Wine writes is
// written back in the same bytes, and a change touches only its own section.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <functional>
#include <vector>
#include <string>

#include "platform/linux/registry_file.h"

namespace {

using platform::regfile::File;
using platform::regfile::Key;
using platform::regfile::Value;

// Sections as Wine 8 writes them (taken from a fresh prefix), plus the kinds
// of values and lines a hand-edited file may hold.
const char kWineText[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win32

[Software\\Classes\\CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{1B544C20-FD0B-11CE-8C63-00AA0044B51E}] 179
#time=1dd8654542ad48e
"CLSID"="{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"
"FilterData"=hex:02,00,00,00,00,00,60,00,02,00,00,00,00,00,00,00,30,70,69,33,\
  00,00,00,00,00,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,30,74,79,33,00,\
  00,00,00,60,00,00,00,70,00,00,00,31,70,69,33,08,00,00,00,00,00,00,00,01,00,\
  00,00,00,00,00,00,00,00,00,00,30,74,79,33,00,00,00,00,80,00,00,00,90,00,00,\
  00,83,eb,36,e4,4f,52,ce,11,9f,53,00,20,af,0b,a7,70,88,eb,36,e4,4f,52,ce,11,\
  9f,53,00,20,af,0b,a7,70,76,69,64,73,00,00,10,00,80,00,00,aa,00,38,9b,71,00,\
  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00
"FriendlyName"="AVI Splitter"

[Software\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT] 1796652463
#time=1dd865454179162
"Dll"=str(7):"cryptnet.dll\0"

[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1796652463
#time=1dd865454179162
"Quoted \"name\""="C:\\Program Files\\App\\app.exe /tray"
"Tabbed"="a\tb\x4e2d\x6587z\x00e9\x0041"
@="default"

[Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones] 1796652464
#time=1dd865454441c64
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00

[System\\CurrentControlSet\\Control\\Session Manager\\Environment] 1796652464
#time=1dd8654544edd02
"ComSpec"=str(2):"%SystemRoot%\\system32\\cmd.exe"
;; a comment someone left here
"NUMBER_OF_PROCESSORS"="2"
this line means nothing to Wine
"WriteWatch"=dword:00000001

[System\\CurrentControlSet\\Enum\\DISPLAY\\0002] 1796652457
#time=1dd8654509cff0e
@=hex(ffff0007):03,00,00,00
"BAD_EDID"=hex:
)";

std::u16string Text(const Value& value) {
  std::u16string text;
  for (size_t i = 0; i + 1 < value.data.size(); i += 2)
    text.push_back(char16_t(uint8_t(value.data[i]) | (uint8_t(value.data[i + 1]) << 8)));
  return text;
}

Key* FindKey(File& file, std::initializer_list<const char16_t*> names) {
  platform::regfile::KeyPath path;
  for (const char16_t* n : names) path.push_back(n);
  return file.Find(path);
}

TEST(RegistryFile, ReadsEveryKindOfValueAsWineDoes) {
  File file;
  ASSERT_TRUE(file.Parse(kWineText));
  Key* run = FindKey(file, {u"software", u"MICROSOFT", u"Windows", u"CurrentVersion", u"run"});
  ASSERT_NE(run, nullptr) << "key names compare ignoring case";
  Value* quoted = File::FindValue(run, u"quoted \"NAME\"");
  ASSERT_NE(quoted, nullptr);
  EXPECT_EQ(quoted->type, DWORD(REG_SZ));
  EXPECT_EQ(Text(*quoted), std::u16string(u"C:\\Program Files\\App\\app.exe /tray") + u'\0');
  Value* tabbed = File::FindValue(run, u"Tabbed");
  ASSERT_NE(tabbed, nullptr);
  EXPECT_EQ(Text(*tabbed), std::u16string(u"a\tb\u4e2d\u6587z\u00e9A") + u'\0');
  Value* def = File::FindValue(run, u"");
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(Text(*def), std::u16string(u"default") + u'\0');

  Key* crypt = FindKey(file, {u"Software", u"Microsoft", u"Cryptography", u"OID", u"EncodingType 1",
                              u"CertDllVerifyRevocation", u"DEFAULT"});
  ASSERT_NE(crypt, nullptr);
  Value* multi = File::FindValue(crypt, u"Dll");
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(Text(*multi), std::u16string(u"cryptnet.dll\0\0", 14));

  Key* env = FindKey(file, {u"System", u"CurrentControlSet", u"Control", u"Session Manager", u"Environment"});
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(File::FindValue(env, u"ComSpec")->type, DWORD(REG_EXPAND_SZ));
  Value* dword = File::FindValue(env, u"WriteWatch");
  ASSERT_NE(dword, nullptr);
  EXPECT_EQ(dword->type, DWORD(REG_DWORD));
  EXPECT_EQ(dword->data, std::string("\x01\x00\x00\x00", 4));

  Key* display = FindKey(file, {u"System", u"CurrentControlSet", u"Enum", u"DISPLAY", u"0002"});
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(File::FindValue(display, u"")->type, 0xffff0007u);
  EXPECT_EQ(File::FindValue(display, u"BAD_EDID")->data, "");

  Key* instance = FindKey(file, {u"Software", u"Classes", u"CLSID", u"{083863F1-70DE-11D0-BD40-00A0C911CE86}",
                                 u"Instance", u"{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"});
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(File::FindValue(instance, u"FilterData")->data.size(), 160u)
      << "continued hex lines join into one value";
}

TEST(RegistryFile, WritesEveryValueInWinesOwnBytes) {
  File file;
  ASSERT_TRUE(file.Parse(kWineText));
  int checked = 0;
  std::function<void(Key*)> walk = [&](Key* key) {
    for (const Value& value : key->values) {
      if (value.name == u"Tabbed") continue;  // hand-written escapes, not Wine's
      EXPECT_EQ(platform::regfile::DumpValue(value), value.raw);
      ++checked;
    }
    for (auto& child : key->children) walk(child.get());
  };
  walk(file.Root());
  EXPECT_EQ(checked, 12);
  EXPECT_EQ(file.Serialize(), kWineText) << "an unchanged file is written back byte for byte";
}

TEST(RegistryFile, AChangeRewritesOnlyItsOwnSection) {
  File file;
  ASSERT_TRUE(file.Parse(kWineText));
  file.SetClock(1700000000);
  Key* run = FindKey(file, {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"});
  ASSERT_NE(run, nullptr);
  std::string data("n\0e\0w\0\0\0", 8);
  file.SetValue(run, u"Added", REG_SZ, data);
  std::string out = file.Serialize();

  std::string original = kWineText;
  size_t start = original.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run]");
  size_t end = original.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Time Zones]");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(out.substr(0, start), original.substr(0, start));
  EXPECT_EQ(out.substr(out.size() - (original.size() - end)), original.substr(end));
  std::string section = out.substr(start, out.size() - (original.size() - end) - start);
  EXPECT_EQ(section.substr(0, section.find('\n') + 1),
            "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run] 1700000000\n");
  // Values stay sorted as Wine keeps them: "Added" before the others.
  size_t added = section.find("\"Added\"=\"new\"\n");
  ASSERT_NE(added, std::string::npos);
  EXPECT_LT(added, section.find("\"Quoted"));
  EXPECT_NE(section.find("\"Tabbed\"=\"a\\tb\\x4e2d\\x6587z\\x00e9\\x0041\"\n"), std::string::npos)
      << "untouched values keep their text";
}

TEST(RegistryFile, NewKeysGoWhereWineWouldWriteThem) {
  File file;
  ASSERT_TRUE(file.Parse(kWineText));
  bool created = false;
  Key* key = file.Create({u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run", u"Disabled"}, &created);
  ASSERT_TRUE(created);
  file.SetValue(key, u"x", REG_DWORD, std::string("\x05\x00\x00\x00", 4));
  std::string out = file.Serialize();
  size_t run = out.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run]");
  size_t fresh = out.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\\\\Disabled]");
  size_t zones = out.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Time Zones]");
  ASSERT_NE(fresh, std::string::npos);
  EXPECT_LT(run, fresh);
  EXPECT_LT(fresh, zones);
  EXPECT_NE(out.find("\n\"x\"=dword:00000005\n\n[Software"), std::string::npos);

  // Read back: the same tree.
  File again;
  ASSERT_TRUE(again.Parse(out));
  Key* back = FindKey(again, {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run", u"disabled"});
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(File::FindValue(back, u"X")->data, std::string("\x05\x00\x00\x00", 4));
}

TEST(RegistryFile, DeletingKeepsTheParentAndDropsTheSubtree) {
  File file;
  ASSERT_TRUE(file.Parse(kWineText));
  Key* env = FindKey(file, {u"System", u"CurrentControlSet", u"Control", u"Session Manager", u"Environment"});
  ASSERT_NE(env, nullptr);
  EXPECT_TRUE(file.DeleteValue(env, u"number_of_processors"));
  EXPECT_FALSE(file.DeleteValue(env, u"number_of_processors"));
  Key* display = FindKey(file, {u"System", u"CurrentControlSet", u"Enum", u"DISPLAY"});
  ASSERT_NE(display, nullptr);
  file.Delete(display);
  std::string out = file.Serialize();
  EXPECT_EQ(out.find("DISPLAY"), std::string::npos);
  EXPECT_EQ(out.find("NUMBER_OF_PROCESSORS"), std::string::npos);
  EXPECT_NE(out.find(";; a comment someone left here\n"), std::string::npos) << "unknown lines are kept";
  EXPECT_NE(out.find("this line means nothing to Wine\n"), std::string::npos);

  File again;
  ASSERT_TRUE(again.Parse(out));
  // "Enum" had no section of its own: it still exists as an empty key.
  EXPECT_NE(FindKey(again, {u"System", u"CurrentControlSet", u"Enum"}), nullptr);
  EXPECT_EQ(FindKey(again, {u"System", u"CurrentControlSet", u"Enum", u"DISPLAY"}), nullptr);
}

TEST(RegistryFile, WritesWinesEscapesAndBinaryForms) {
  Value v;
  v.name = u"Na\"me\\";
  v.type = REG_SZ;
  // "a", newline, U+00E9, "1" (a hex digit follows: four digits), U+4E2D, end
  const char16_t units[] = {u'a', u'\n', 0x00E9, u'1', 0x4E2D, 0};
  v.data.assign(reinterpret_cast<const char*>(units), sizeof units);
  EXPECT_EQ(platform::regfile::DumpValue(v), "\"Na\\\"me\\\\\"=\"a\\n\\x00e91\\x4e2d\"\n");

  v.name = u"";
  v.data = std::string("a\0b", 3);  // odd length: not a proper string
  EXPECT_EQ(platform::regfile::DumpValue(v), "@=hex(1):61,00,62\n");

  v.type = REG_DWORD;
  v.data = std::string("\x01\x02", 2);  // a DWORD of the wrong size
  EXPECT_EQ(platform::regfile::DumpValue(v), "@=hex(4):01,02\n");

  v.type = REG_EXPAND_SZ;
  v.data = std::string("\x01\x00\x31\x00\x00\x00", 6);  // control unit before a digit
  EXPECT_EQ(platform::regfile::DumpValue(v), "@=str(2):\"\\0011\"\n");
}

TEST(RegistryFile, RefusesTextThatIsNoRegistryFile) {
  File file;
  EXPECT_FALSE(file.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n"));
  EXPECT_FALSE(file.Parse(""));
  EXPECT_TRUE(file.Parse("WINE REGISTRY Version 2\n"));
}

TEST(RegistryFile, SurvivesMalformedLines) {
  const char text[] =
      "WINE REGISTRY Version 2\n"
      "\"orphan\"=\"value without a key\"\n"
      "[Unclosed\\\\Key\n"
      "\"ignored\"=\"a value under a refused section\"\n"
      "[Good] 1\n"
      "\"broken\"=hex:01,\\\n"          // continuation at the end of the file
      ;
  File file;
  ASSERT_TRUE(file.Parse(text));
  Key* good = FindKey(file, {u"Good"});
  ASSERT_NE(good, nullptr);
  // As in Wine: the value exists, emptied to REG_NONE, and nothing is read
  // under a section line Wine refuses.
  ASSERT_EQ(good->values.size(), 1u);
  EXPECT_EQ(good->values[0].type, DWORD(REG_NONE));
  EXPECT_EQ(good->values[0].data, "");
  EXPECT_EQ(file.Root()->children.size(), 1u);
  std::string expected = text;
  expected.replace(expected.find("\"broken\""), std::string::npos, "\"broken\"=hex(0):\n");
  EXPECT_EQ(file.Serialize(), expected)
      << "what Wine ignores is kept as it was; a dangling continuation is written as Wine read it";
}


// --- Faults found on hand-made and fuzzed files, each against Wine's reading.

std::string Sz(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes + std::string(2, '\0');
}

// Parses text, checks it is accepted, and returns the file re-read from what
// it writes: the state Wine would see after a write.
std::string WriteAndReread(File& file, File* again) {
  std::string out = file.Serialize();
  EXPECT_TRUE(again->Parse(out)) << out;
  return out;
}

TEST(RegistryFile, AValueAddedAfterALastLineWithoutLineEndIsALineOfItsOwn) {
  for (const char* end : {"", "\r"}) {
    std::string text = std::string("WINE REGISTRY Version 2\n[Run] 1\n\"windows auto update\"=\"msblast.exe\"") + end;
    File file;
    ASSERT_TRUE(file.Parse(text));
    Key* run = FindKey(file, {u"Run"});
    ASSERT_NE(run, nullptr);
    file.SetValue(run, u"Zulu", REG_SZ, Sz(u"zulu.exe"));
    File again;
    std::string out = WriteAndReread(file, &again);
    Key* back = FindKey(again, {u"Run"});
    ASSERT_NE(back, nullptr) << out;
    ASSERT_NE(File::FindValue(back, u"Zulu"), nullptr) << out;
    EXPECT_EQ(File::FindValue(back, u"Zulu")->data, Sz(u"zulu.exe"));
    ASSERT_NE(File::FindValue(back, u"windows auto update"), nullptr) << out;
    EXPECT_EQ(File::FindValue(back, u"windows auto update")->data, Sz(u"msblast.exe"));

    // A new key after such a last line is a section of its own too.
    File other;
    ASSERT_TRUE(other.Parse(text));
    Key* fresh = other.Create({u"Zz"}, nullptr);
    other.SetValue(fresh, u"v", REG_DWORD, std::string(4, '\0'));
    ASSERT_TRUE(again.Parse(other.Serialize()));
    EXPECT_NE(FindKey(again, {u"Zz"}), nullptr);
    EXPECT_NE(File::FindValue(FindKey(again, {u"Run"}), u"windows auto update"), nullptr);
  }
}

TEST(RegistryFile, AMalformedHexContinuationTakesOnlyTheLineWineTakes) {
  // Wine reads the line after a "\" as more hex digits whatever it holds:
  // here "  zz", which makes the value malformed (REG_NONE, empty); the
  // section after it is read as usual.
  const char text[] =
      "WINE REGISTRY Version 2\n"
      "[A] 1\n"
      "\"x\"=hex:01,02,\\\n"
      "  zz\n"
      "[B] 1\n"
      "\"y\"=\"1\"\n";
  File file;
  ASSERT_TRUE(file.Parse(text));
  Key* a = FindKey(file, {u"A"});
  ASSERT_NE(a, nullptr);
  ASSERT_NE(File::FindValue(a, u"x"), nullptr);
  EXPECT_EQ(File::FindValue(a, u"x")->type, DWORD(REG_NONE));
  EXPECT_EQ(File::FindValue(a, u"x")->data, "");
  ASSERT_NE(FindKey(file, {u"B"}), nullptr);
  EXPECT_NE(File::FindValue(FindKey(file, {u"B"}), u"y"), nullptr);

  // A section line right after the "\" is the line Wine takes: its values
  // belong to the key before, as Wine reads them, before and after a write.
  const char swallowed[] =
      "WINE REGISTRY Version 2\n"
      "[A] 1\n"
      "\"x\"=hex:01,\\\n"
      "[B] 1\n"
      "\"y\"=\"1\"\n"
      "[C] 1\n"
      "\"z\"=\"1\"\n";
  ASSERT_TRUE(file.Parse(swallowed));
  EXPECT_EQ(FindKey(file, {u"B"}), nullptr);
  a = FindKey(file, {u"A"});
  ASSERT_NE(a, nullptr);
  EXPECT_NE(File::FindValue(a, u"y"), nullptr);
  file.SetValue(a, u"w", REG_SZ, Sz(u"new"));
  File again;
  std::string out = WriteAndReread(file, &again);
  a = FindKey(again, {u"A"});
  ASSERT_NE(a, nullptr) << out;
  EXPECT_EQ(a->values.size(), 3u) << out;
  EXPECT_NE(File::FindValue(a, u"w"), nullptr) << out;
  EXPECT_NE(File::FindValue(FindKey(again, {u"C"}), u"z"), nullptr) << out;
}

TEST(RegistryFile, KeysNestedFiftyThousandDeepAreReadChangedAndFreed) {
  const int kDepth = 50000;
  std::string text = "WINE REGISTRY Version 2\n[Run] 1\n\"keep\"=\"1\"\n\n[";
  for (int i = 0; i < kDepth; ++i) text += i == 0 ? "k" : "\\\\k";
  text += "] 1\n\"deep\"=\"1\"\n";
  {
    File file;
    ASSERT_TRUE(file.Parse(text));
    std::vector<Key*> all = File::Subtree(file.Root());
    EXPECT_EQ(all.size(), size_t(kDepth) + 2);
    Key* deepest = FindKey(file, {u"k"});
    while (!deepest->children.empty()) deepest = deepest->children[0].get();
    ASSERT_NE(File::FindValue(deepest, u"deep"), nullptr);
    file.SetValue(deepest, u"more", REG_DWORD, std::string(4, '\1'));
    file.Delete(FindKey(file, {u"Run"}));
    File again;
    WriteAndReread(file, &again);
    EXPECT_EQ(FindKey(again, {u"Run"}), nullptr);
    EXPECT_EQ(File::Subtree(again.Root()).size(), size_t(kDepth) + 1);
    file.Delete(FindKey(file, {u"k"}));
    EXPECT_EQ(file.Root()->children.size(), 0u);
  }  // every tree freed here, without recursion
}

TEST(RegistryFile, DuplicateSectionsMergeAsWineMergesThem) {
  const char text[] =
      "WINE REGISTRY Version 2\n"
      "[Run] 1\n"
      "\"Agent\"=\"old.exe\"\n"
      "\"b\"=\"1\"\n"
      "\n"
      "[Other] 1\n"
      "\"o\"=\"1\"\n"
      "\n"
      "[run] 2\n"
      "\"AGENT\"=\"new.exe\"\n"
      "\"c\"=\"2\"\n";
  File file;
  ASSERT_TRUE(file.Parse(text));
  EXPECT_EQ(file.Serialize(), text) << "read only: nothing moves";
  Key* run = FindKey(file, {u"RUN"});
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->name, u"Run") << "the first spelling stays, as in Wine";
  ASSERT_EQ(run->values.size(), 3u);
  EXPECT_EQ(run->values[0].name, u"Agent");
  EXPECT_EQ(run->values[0].data, Sz(u"new.exe")) << "the last line wins";

  // Disabling removes every line Wine would read the value from.
  ASSERT_TRUE(file.DeleteValue(run, u"agent"));
  File again;
  std::string out = WriteAndReread(file, &again);
  Key* back = FindKey(again, {u"Run"});
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(File::FindValue(back, u"Agent"), nullptr) << out;
  EXPECT_NE(File::FindValue(back, u"b"), nullptr);
  EXPECT_NE(File::FindValue(back, u"c"), nullptr);
  EXPECT_EQ(out.find("old.exe"), std::string::npos) << out;
  EXPECT_EQ(out.find("[run]"), std::string::npos) << "one section left: " << out;
  EXPECT_NE(out.find("[Other] 1\n\"o\"=\"1\"\n"), std::string::npos);
  // And the text stays put from then on.
  EXPECT_EQ(again.Serialize(), out);
  again.SetClock(1);
  again.SetValue(FindKey(again, {u"Other"}), u"p", REG_SZ, Sz(u"2"));
  File third;
  std::string next = WriteAndReread(again, &third);
  EXPECT_EQ(next.substr(0, next.find("[Other]")), out.substr(0, out.find("[Other]")));
}

// --- Wine's reading of the constructs a file may hold.

TEST(RegistryFile, DataFormsAreReadAsWineReadsThem) {
  const std::string text =
      "WINE REGISTRY Version 2\r\n"
      "  [Forms]  7\r\n"
      "\"d1\"=dword:-1\r\n"
      "\"d2\"=dword:0x10\r\n"
      "\"d3\"=dword:zz\r\n"
      "\"h1\"=hex(0x2):41,00,00,00\r\n"
      "\"h2\"=hex():01\r\n"
      "\"h3\"=hex:1 2,3\r\n"
      "\"h4\"=hex:100\r\n"
      "\"h5\"=hex:0x1f,001,a,0b\r\n"
      "\"h6\"=hex:1,0xfff\r\n"
      "\"h7\"=hex:0x,1\r\n"
      "\"s1\"=str(1):\"x\"\r\n"
      "\"s2\"=\"a\xff\xc3\xa9\xe2\x82\"\r\n"
      "\"s3\"=\"\\x41g\\101\\q\"  trailing\r\n"
      "\"s4\"=\"open\r\n"
      "\"=\"no name\"\r\n"
      "@ = \"default\"\r\n" +
      std::string("\"nul\"=\"c\0ut\"\r\n", 15);
  File file;
  ASSERT_TRUE(file.Parse(text));
  Key* key = FindKey(file, {u"forms"});
  ASSERT_NE(key, nullptr);
  auto value = [&](const char16_t* name) { return File::FindValue(key, name); };
  auto dword = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  ASSERT_NE(value(u"d1"), nullptr);
  EXPECT_EQ(value(u"d1")->data, dword(0xFFFFFFFFu));
  EXPECT_EQ(value(u"d2")->data, dword(0x10));
  EXPECT_EQ(value(u"d3")->data, dword(0));
  EXPECT_EQ(value(u"h1")->type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(value(u"h2")->type, 0u);
  EXPECT_EQ(value(u"h2")->data, "\x01");
  EXPECT_EQ(value(u"h3")->data, "\x01\x02\x03");
  EXPECT_EQ(value(u"h4")->type, DWORD(REG_NONE)) << "a byte above ff is malformed";
  EXPECT_EQ(value(u"h5")->data, "\x1f\x01\x0a\x0b") << "a byte is what strtoul reads: 0x, leading zeros";
  EXPECT_EQ(value(u"h6")->type, DWORD(REG_NONE));
  EXPECT_EQ(value(u"h7")->type, DWORD(REG_NONE)) << "\"0x\" without a digit reads as 0, then x";
  EXPECT_EQ(value(u"s1")->type, DWORD(REG_NONE));
  EXPECT_EQ(Text(*value(u"s2")), std::u16string(u"a\u00e9") + u'\0') << "invalid UTF-8 is dropped";
  EXPECT_EQ(Text(*value(u"s3")), std::u16string(u"AgAq") + u'\0');
  EXPECT_EQ(value(u"s4")->type, DWORD(REG_NONE));
  EXPECT_EQ(Text(*value(u"")), std::u16string(u"default") + u'\0');
  ASSERT_NE(value(u"nul"), nullptr) << "the line ends at its NUL byte";
  EXPECT_EQ(value(u"nul")->type, DWORD(REG_NONE));
  EXPECT_EQ(key->values.size(), 16u) << "\"=\"no name\" names a value \"=\" with no = after it: ignored";
}

TEST(RegistryFile, SectionsAndOptionsAreReadAsWineReadsThem) {
  std::string longName(257, 'n');
  const std::string text =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to REGISTRY\\\\Machine\n"
      "#arch=win64\n"
      "[Target] 1\n"
      "[Link] 1\n"
      "#time=1d0\n"
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,4d,00,61,\\\n"
      "  00,63,00,68,00,69,00,6e,00,65,00,5c,00,54,00,61,00,72,00,67,00,65,00,74,00\n"
      "[Link\\\\Sub] 1\n"
      "\"through\"=\"link\"\n"
      "[Parent\\\\" + longName + "] 1\n"
      "\"lost\"=\"1\"\n"
      "#class=\"ignored\"\n"
      "[\\\\\\\\Lead\\\\\\\\Double\\\\] 1\n"
      "\"x\"=\"1\"\n";
  File file;
  ASSERT_TRUE(file.Parse(text));
  Key* link = nullptr;
  for (auto& child : file.Root()->children)
    if (child->name == u"Link") link = child.get();
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->link);
  EXPECT_TRUE(link->children.empty()) << "keys under a link go to its target";
  EXPECT_EQ(FindKey(file, {u"Link"}), FindKey(file, {u"Target"})) << "a link is followed, as in Wine";
  ASSERT_NE(FindKey(file, {u"Target", u"Sub"}), nullptr);
  EXPECT_EQ(FindKey(file, {u"Link", u"Sub"}), FindKey(file, {u"Target", u"Sub"}));
  EXPECT_NE(File::FindValue(FindKey(file, {u"Target", u"Sub"}), u"through"), nullptr);
  ASSERT_NE(FindKey(file, {u"Parent"}), nullptr) << "names before the one Wine refuses are made";
  EXPECT_TRUE(FindKey(file, {u"Parent"})->children.empty());
  EXPECT_NE(File::FindValue(FindKey(file, {u"Lead", u"Double"}), u"x"), nullptr)
      << "empty names in a section line are skipped";

  // Text Wine refuses as a registry file.
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\n#arch=win16\n[A] 1\n"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\n#arch=win32\n#arch=win64\n"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\n[A] 1\n[Bad\n#arch=x\n"))
      << "under a refused section an option is a global one";
  EXPECT_TRUE(file.Parse("WINE REGISTRY Version 2\n[A] 1\n#arch=x\n"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\r"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\r\r\n"));
  EXPECT_TRUE(file.Parse("WINE REGISTRY Version 2"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2\n#arch=win32\r"))
      << "a last line keeps its CR";
}

TEST(RegistryFile, NamesEndingInANulUnitSurviveAWrite) {
  // Wine reads "\0" at the end of a name as part of it; written the way Wine
  // writes names the unit would be taken for the terminator and lost.
  const char text[] = "WINE REGISTRY Version 2\n[K\\0] 1\n\"v\\0\"=\"1\"\n";
  File file;
  ASSERT_TRUE(file.Parse(text));
  ASSERT_EQ(file.Root()->children.size(), 1u);
  Key* key = file.Root()->children[0].get();
  EXPECT_EQ(key->name, std::u16string(u"K\0", 2));
  ASSERT_EQ(key->values.size(), 1u);
  EXPECT_EQ(key->values[0].name, std::u16string(u"v\0", 2));
  file.SetValue(key, u"w", REG_SZ, Sz(u"2"));
  File again;
  std::string out = WriteAndReread(file, &again);
  ASSERT_EQ(again.Root()->children.size(), 1u) << out;
  EXPECT_EQ(again.Root()->children[0]->name, std::u16string(u"K\0", 2)) << out;
  EXPECT_NE(File::FindValue(again.Root()->children[0].get(), std::u16string(u"v\0", 2)), nullptr) << out;
}

// The same text read whole and lazily, both writing one fixed time stamp.
void ReadBoth(const std::string& text, File* whole, File* lazy) {
  whole->SetClock(1700000000);
  lazy->SetClock(1700000000);
  ASSERT_TRUE(whole->Parse(text, /*lazily=*/false));
  ASSERT_TRUE(lazy->Parse(text));
}

// What a reading that leaves values for later must give: the same keys,
// values, leading lines, tails and written text as a whole reading, whatever
// order keys are then asked for in, and the same text after a change.
TEST(RegistryFile, ALazyReadingIsTheWholeReading) {
  const std::string text = std::string(R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win32

[System\\ControlSet001\\Control] 1
"Early"="one"
;; before the link

[System\\CurrentControlSet] 1
#time=1dd8654544edd02
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,4d,00,\
  61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,5c,00,43,00,\
  6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,30,00,30,00,31,00

[System\\CurrentControlSet\\Control] 2
"Late"="through the link"

[Zulu] 1
"Wrapped"=hex:01,02,\ anything after the backslash is ignored
[Not a section: the continuation takes this line]
"Path"="C:\\windows\\system32"
nothing Wine reads
"path"="last spelling wins"
"Text"="no hex: the next line is its own"\
[Alpha] 1
#class="x"
"A"=dword:1
[Zulu] 3
"Second"="section"
trailing words
)") + "[Refused" + std::string(300, 'y') + "]\n\"Lost\"=\"value\"\n";
  File whole, lazy;
  ReadBoth(text, &whole, &lazy);
  EXPECT_EQ(lazy.Serialize(), whole.Serialize());

  Key* zulu = lazy.Find({u"zulu"});
  ASSERT_NE(zulu, nullptr);
  ASSERT_EQ(zulu->values.size(), 4u);
  EXPECT_EQ(zulu->values[0].type, DWORD(REG_NONE));  // the line it took is no hex
  EXPECT_EQ(File::FindValue(zulu, u"PATH")->name, u"Path");
  EXPECT_EQ(zulu->values[3].name, u"Second");
  ASSERT_NE(lazy.Find({u"Alpha"}), nullptr);
  EXPECT_NE(File::FindValue(lazy.Find({u"Alpha"}), u"A"), nullptr);
  Key* control = lazy.Find({u"System", u"CurrentControlSet", u"Control"});
  ASSERT_NE(control, nullptr);
  EXPECT_NE(File::FindValue(control, u"Early"), nullptr);
  EXPECT_NE(File::FindValue(control, u"Late"), nullptr);
  EXPECT_EQ(lazy.Root()->children.size(), whole.Root()->children.size());

  // Every key as the whole reading has it, in the same order.
  std::vector<Key*> a = File::Subtree(whole.Root()), b = File::Subtree(lazy.Root());
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i]->name, b[i]->name);
    EXPECT_EQ(a[i]->head, b[i]->head);
    EXPECT_EQ(a[i]->tail, b[i]->tail) << i;
    ASSERT_EQ(a[i]->values.size(), b[i]->values.size());
    for (size_t v = 0; v < a[i]->values.size(); ++v) {
      EXPECT_EQ(a[i]->values[v].name, b[i]->values[v].name);
      EXPECT_EQ(a[i]->values[v].data, b[i]->values[v].data);
      EXPECT_EQ(a[i]->values[v].leading, b[i]->values[v].leading);
      EXPECT_EQ(a[i]->values[v].raw, b[i]->values[v].raw);
    }
  }

  // A change made on a key read lazily writes what the whole reading writes.
  File changedWhole, changedLazy;
  ReadBoth(text, &changedWhole, &changedLazy);
  for (File* f : {&changedWhole, &changedLazy}) {
    Key* key = f->Find({u"Zulu"});
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(f->DeleteValue(key, u"path"));
    f->SetValue(key, u"New", REG_DWORD, std::string(4, '\0'));
  }
  EXPECT_EQ(changedLazy.Serialize(), changedWhole.Serialize());
}

// The UTF-16 bytes of a symbolic link's target as a hex(6) value line.
std::string LinkValueLine(const std::u16string& target) {
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  char byte[4];
  for (size_t i = 0; i < target.size(); ++i) {
    for (int half = 0; half < 2; ++half) {
      std::snprintf(byte, sizeof byte, "%02x", unsigned(half == 0 ? target[i] & 0xFF : target[i] >> 8));
      line += byte;
      if (i + 1 < target.size() || half == 0) line += ',';
    }
  }
  return line + "\n";
}

// ASCII letters in the other case: a look-up ignores case.
std::u16string OtherCase(std::u16string name) {
  for (char16_t& c : name)
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) c ^= 0x20;
  return name;
}

// Looks up path and, one level at a time, everything below it in both
// readings, as a caller that lists sub-keys would; the keys found must agree.
void ExpectSameKeysBelow(File& whole, File& lazy, platform::regfile::KeyPath path, int depth) {
  platform::regfile::KeyPath asked = path;
  for (std::u16string& name : asked) name = OtherCase(name);
  Key* a = whole.Find(path);
  Key* b = lazy.Find(asked);
  ASSERT_EQ(a == nullptr, b == nullptr) << depth;
  if (a == nullptr) return;
  EXPECT_EQ(a->name, b->name);
  EXPECT_EQ(a->head, b->head);
  EXPECT_EQ(a->link, b->link);
  ASSERT_EQ(a->values.size(), b->values.size());
  for (size_t v = 0; v < a->values.size(); ++v) {
    EXPECT_EQ(a->values[v].name, b->values[v].name);
    EXPECT_EQ(a->values[v].data, b->values[v].data);
  }
  ASSERT_EQ(a->children.size(), b->children.size());
  for (size_t c = 0; c < a->children.size(); ++c) EXPECT_EQ(a->children[c]->name, b->children[c]->name);
  if (depth == 0) return;
  for (size_t c = 0; c < a->children.size(); ++c) {
    platform::regfile::KeyPath below = path;
    below.push_back(a->children[c]->name);
    ExpectSameKeysBelow(whole, lazy, below, depth - 1);
  }
}

// A file whose section lines all name their keys plainly is read without
// making its keys: they are made as they are looked up, and must be the
// keys (names as first spelt, sub-keys in order, heads, values) a whole
// reading makes, before and after changes.
TEST(RegistryFile, KeysMadeAsTheyAreLookedUpAreThoseOfAWholeReading) {
  const std::string text =
      std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n") +
      "[Software\\\\Zeta\\\\Inner] 1\n\"V\"=\"zeta inner\"\n\n"
      "[software\\\\alpha] 2\n#time=1\n#class=\"c\"\n\"A\"=dword:1\n#late option\n\n"
      "[SOFTWARE\\\\Alpha] 3\n#time=2\n\"B\"=\"second section\"\n\n"
      "[Software\\\\\\\\Gamma\\\\] 4\n\"G\"=\"double and trailing separators\"\n\n"
      "[Software\\\\Esc\\x5cAped\\\\Caf\\xe9\\\\\xc3\xa9t\xff\xe9] 5\n\"E\"=\"escapes, UTF-8, a dropped byte\"\n\n"
      "[Software\\\\Beta\\\\Two] 6\n[Software\\\\Beta\\\\One] 7\n\"O\"=\"siblings out of order\"\n\n"
      "[System\\\\Link\\\\Real] 8\n\"R\"=\"below the link, made before it\"\n\n"
      "[System\\\\Link] 9\n#link\n" + LinkValueLine(u"\\REGISTRY\\Machine\\System\\Target") + "\n"
      "[System\\\\Target\\\\Sub] 10\n\"T\"=\"reached through the link\"\n";
  File whole, lazy;
  ReadBoth(text, &whole, &lazy);
  ExpectSameKeysBelow(whole, lazy, {u"Software", u"Alpha"}, 0);  // a key deep down first
  ExpectSameKeysBelow(whole, lazy, {u"System", u"Link", u"Sub"}, 0);
  // Past the link its target's sub-keys count, not the real one below it.
  EXPECT_EQ(whole.Find({u"System", u"Link", u"Real"}), nullptr);
  EXPECT_EQ(lazy.Find({u"System", u"Link", u"Real"}), nullptr);
  EXPECT_EQ(lazy.Serialize(), whole.Serialize());
  ExpectSameKeysBelow(whole, lazy, {}, 6);

  // Changes on keys made as they were looked up write what the whole
  // reading writes: a value, a new key among unmade ones, a deletion.
  File changedWhole, changedLazy;
  ReadBoth(text, &changedWhole, &changedLazy);
  for (File* f : {&changedWhole, &changedLazy}) {
    Key* alpha = f->Find({u"Software", u"Alpha"});
    ASSERT_NE(alpha, nullptr);
    f->SetValue(alpha, u"New", REG_DWORD, std::string(4, '\0'));
  }
  EXPECT_EQ(changedLazy.Serialize(), changedWhole.Serialize());
  for (File* f : {&changedWhole, &changedLazy}) {
    bool created = false;
    ASSERT_NE(f->Create({u"Software", u"Beta", u"Three"}, &created), nullptr);
    EXPECT_TRUE(created);
    f->Delete(f->Find({u"Software", u"Zeta"}));
  }
  EXPECT_EQ(changedLazy.Serialize(), changedWhole.Serialize());
  ExpectSameKeysBelow(changedWhole, changedLazy, {}, 6);
}

// A key's values read from its sections may be dropped while the key is
// unchanged, and are then read again the same; a changed key keeps them,
// and a change after dropping them loses none.
TEST(RegistryFile, ForgottenValuesAreReadAgainAndAChangedKeyKeepsItsOwn) {
  const std::string text =
      "WINE REGISTRY Version 2\n\n[Run] 1\n\"A\"=\"one\"\n;; a comment\n\"B\"=hex:01,\\\n  02\n#tail option\n"
      "\n[Run] 2\n\"A\"=\"second section wins\"\n\"C\"=dword:3\n\n[Other] 3\n\"X\"=\"x\"\n";
  File whole, lazy;
  ReadBoth(text, &whole, &lazy);
  Key* run = lazy.Find({u"Run"});
  ASSERT_NE(run, nullptr);
  EXPECT_FALSE(lazy.ForgetValues(whole.Find({u"Run"}))) << "a whole reading's values are not text to read again";
  EXPECT_EQ(run->values.size(), 3u);
  ASSERT_TRUE(lazy.ForgetValues(run));
  EXPECT_TRUE(run->values.empty());
  EXPECT_FALSE(lazy.ForgetValues(run)) << "nothing left to drop";
  EXPECT_EQ(lazy.Serialize(), text) << "an unchanged key is written from its text";
  ExpectSameKeysBelow(whole, lazy, {}, 2);  // read again on the way
  ASSERT_TRUE(lazy.ForgetValues(lazy.Find({u"Run"})));
  ASSERT_EQ(lazy.Root()->children.size(), 2u);
  EXPECT_EQ(lazy.Find({u"Run"})->values.size(), 3u) << "Root reads the dropped values again";

  // A change, before or after the values were dropped, keeps every value.
  for (File* f : {&whole, &lazy}) f->SetValue(f->Find({u"Run"}), u"D", REG_SZ, std::string("d\0\0\0", 4));
  EXPECT_FALSE(lazy.ForgetValues(lazy.Find({u"Run"})));
  EXPECT_EQ(lazy.Find({u"Run"})->values.size(), 4u);
  ASSERT_TRUE(lazy.ForgetValues(lazy.Find({u"Other"})));
  for (File* f : {&whole, &lazy}) f->SetValue(f->Find({u"Other"}), u"Y", REG_SZ, std::string("y\0\0\0", 4));
  EXPECT_EQ(lazy.Find({u"Other"})->values.size(), 2u);
  EXPECT_EQ(lazy.Serialize(), whole.Serialize());
}

// A continuation that runs off the end of the text is written back as Wine
// read it; a lazy reading falls back to the whole one for that.
TEST(RegistryFile, ALazyReadingOfADanglingContinuationIsTheWholeReading) {
  const std::string text = "WINE REGISTRY Version 2\n\n[Key] 1\n\"Blob\"=hex:01,02,\\\n";
  File whole, lazy;
  ASSERT_TRUE(whole.Parse(text, false));
  ASSERT_TRUE(lazy.Parse(text));
  EXPECT_EQ(lazy.Serialize(), whole.Serialize());
  EXPECT_EQ(File::FindValue(lazy.Find({u"Key"}), u"Blob")->type, DWORD(REG_NONE));
}

// Keys of many values are looked up through an index: it must follow every
// change of the list (insertions before, deletions, appends from outside).
TEST(RegistryFile, ManyValuesAreFoundByFoldedNameThroughEveryChange) {
  std::string text = "WINE REGISTRY Version 2\n\n[Many] 1\n";
  for (int i = 0; i < 100; ++i) text += "\"Value" + std::to_string(i) + "\"=dword:" + std::to_string(i) + "\n";
  text += "\"VALUE7\"=dword:77\n";  // a second line of one name: the last wins
  File file;
  ASSERT_TRUE(file.Parse(text));
  Key* many = file.Find({u"MANY"});
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(many->values.size(), 100u);
  EXPECT_EQ(File::FindValue(many, u"value7")->data, std::string("\x77\0\0\0", 4));
  EXPECT_EQ(File::FindValue(many, u"value99")->name, u"Value99");
  EXPECT_EQ(File::FindValue(many, u"Value100"), nullptr);

  file.SetValue(many, u"AAA first", REG_DWORD, std::string(4, '\1'));  // sorts before every other
  EXPECT_EQ(many->values[0].name, u"AAA first");
  EXPECT_EQ(File::FindValue(many, u"value50")->name, u"Value50");
  EXPECT_EQ(File::FindValue(many, u"aaa FIRST")->name, u"AAA first");
  ASSERT_TRUE(file.DeleteValue(many, u"VALUE0"));
  EXPECT_EQ(File::FindValue(many, u"Value0"), nullptr);
  EXPECT_EQ(File::FindValue(many, u"Value1")->name, u"Value1");
  Value appended;
  appended.name = u"Appended";
  many->values.push_back(appended);
  EXPECT_EQ(File::FindValue(many, u"appended")->name, u"Appended");
}

// Sections in any order give sub-keys sorted as Wine keeps them, found by
// any case.
TEST(RegistryFile, SectionsOutOfOrderGiveSortedSubKeys) {
  std::string text = "WINE REGISTRY Version 2\n";
  for (int i = 50; i-- > 0;) text += "\n[Parent\\\\Key" + std::to_string(100 + i) + "] 1\n\"v\"=dword:1\n";
  text += "\n[parent\\\\key120\\\\Sub] 1\n";
  for (bool lazily : {false, true}) {
    File file;
    ASSERT_TRUE(file.Parse(text, lazily));
    Key* parent = file.Find({u"PARENT"});
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(parent->children.size(), 50u);
    for (size_t i = 0; i < 50; ++i) {
      const std::string number = std::to_string(100 + i);
      EXPECT_EQ(parent->children[i]->name, u"Key" + std::u16string(number.begin(), number.end()));
    }
    ASSERT_NE(file.Find({u"Parent", u"KEY120", u"sub"}), nullptr);
    bool created = true;
    file.Create({u"Parent", u"Key000"}, &created);
    EXPECT_TRUE(created);
    EXPECT_EQ(parent->children[0]->name, u"Key000");
  }
}

}  // namespace

#endif  // _WIN32
