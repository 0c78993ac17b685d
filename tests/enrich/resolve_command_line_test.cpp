// The program behind a command line: the quoted text, the three cuts, the
// expansion, and the decision between the path as written, a search, and
// the command line as it stands.
#include "enrich/resolve_command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

std::u16string Quoted(const char16_t* commandLine) {
  char16_t out[260] = {};
  ExtractQuotedText(commandLine, out);
  return out;
}

std::u16string Resolve(const std::u16string& commandLine) {
  char16_t out[260];
  for (char16_t& c : out) c = u'#';
  ResolveCommandLine(commandLine.c_str(), out);
  return out;
}

std::u16string Expand(const char16_t* text) {
  char16_t out[260] = {};
  DWORD n = platform::ExpandEnvironmentStringsW(text, out, 260);
  return n > 0 && n <= 260 ? std::u16string(out) : std::u16string();
}

TEST(ExtractQuotedText, TakesTheTextBetweenTheFirstTwoQuotes) {
  EXPECT_EQ(u"C:\\Program Files\\App\\app.exe", Quoted(u"\"C:\\Program Files\\App\\app.exe\" /tray"));
  EXPECT_EQ(u"b", Quoted(u"a \"b\" \"c\""));
}

TEST(ExtractQuotedText, WithoutAQuotedTextTheWholeLineIsKept) {
  EXPECT_EQ(u"C:\\a.exe", Quoted(u"C:\\a.exe"));
  EXPECT_EQ(u"\"C:\\a.exe /x", Quoted(u"\"C:\\a.exe /x")) << "one quote only";
  EXPECT_EQ(u"\"\"C:\\a.exe", Quoted(u"\"\"C:\\a.exe")) << "empty quoted text";
  EXPECT_EQ(u"", Quoted(u""));
}

class ResolveCommandLineTest : public ::testing::Test {
 protected:
  testsys::CleanSystem system_;
};

TEST_F(ResolveCommandLineTest, PathWithDriveAndFolderIsTakenAsWritten) {
  EXPECT_EQ(u"C:\\Program Files\\App\\app.exe", Resolve(u"\"C:\\Program Files\\App\\app.exe\" /tray"));
  EXPECT_EQ(u"C:\\WINDOWS\\system32\\rundll32.exe shell32.dll",
            Resolve(u"C:\\WINDOWS\\system32\\rundll32.exe shell32.dll,Control_RunDLL"));
  EXPECT_EQ(u"C:\\Tools\\app.exe arg", Resolve(u"C:\\Tools\\app.exe arg"))
      << "a blank is not a separator";
}

TEST_F(ResolveCommandLineTest, CutsApplyInsideQuotedText) {
  EXPECT_EQ(u"C:\\My Tools", Resolve(u"\"C:\\My Tools -x\\a.exe\""));
  EXPECT_EQ(u"C:\\Apps", Resolve(u"\"C:\\Apps, Inc\\a.exe\" -run"));
  EXPECT_EQ(u"C:\\dir\\a.exe", Resolve(u"C:\\dir\\a.exe /x,y -z"));
  EXPECT_EQ(u"C:\\dir\\a.exe", Resolve(u"C:\\dir\\a.exe,/x -z"));
  EXPECT_EQ(u"C:\\dir\\a.exe\tb", Resolve(u"C:\\dir\\a.exe\tb")) << "a tab is not a separator";
}

TEST_F(ResolveCommandLineTest, NameWithoutFolderOrExtensionKeepsTheCommandLine) {
  EXPECT_EQ(u"explorer", Resolve(u"explorer"));
  EXPECT_EQ(u"", Resolve(u""));
  EXPECT_EQ(u"\\SystemRoot\\System32\\tool", Resolve(u"\\SystemRoot\\System32\\tool"));
}

TEST_F(ResolveCommandLineTest, QuotesThatEncloseNothingLeaveNoUsablePath) {
  // The whole line is worked on; it has a folder but no drive, so only
  // "a.exe" is searched for, and nothing of that name exists.
  EXPECT_EQ(u"", Resolve(u"\"\"C:\\rv-none\\a.exe"));
  EXPECT_EQ(u"", Resolve(u"\"C:\\rv-none\\a.exe /x"));
}

TEST_F(ResolveCommandLineTest, NameWithExtensionIsSearchedFor) {
  const std::u16string target = fixtures::System32Folder() + u"\\rvsearched.exe";
  ASSERT_TRUE(fixtures::Install("searched.exe", target));
  const std::u16string found = Resolve(u"rvsearched.exe /background");
  EXPECT_EQ(0, platform::lstrcmpiW(target.c_str(), found.c_str()))
      << "found " << std::string(found.begin(), found.end());
  // A folder without a drive is dropped before the search.
  EXPECT_EQ(0, platform::lstrcmpiW(target.c_str(), Resolve(u"system32\\rvsearched.exe").c_str()));
  EXPECT_EQ(u"", Resolve(u"rv-absent.exe /background"));
  platform::DeleteFileW(target.c_str());
}

TEST_F(ResolveCommandLineTest, SearchAddsTheExtensionOnlyToABaseNameWithoutOne) {
  const std::u16string dotted = fixtures::System32Folder() + u"\\rv.tool.exe";
  ASSERT_TRUE(fixtures::Install("searched.exe", dotted));
  EXPECT_EQ(u"", Resolve(u"rv.tool.exe")) << "\"rv.tool\" is searched for as it stands";
  const std::u16string bare = fixtures::System32Folder() + u"\\rv.tool";
  ASSERT_TRUE(fixtures::Install("searched.exe", bare));
  EXPECT_EQ(0, platform::lstrcmpiW(bare.c_str(), Resolve(u"rv.tool.exe").c_str()));
  platform::DeleteFileW(dotted.c_str());
  platform::DeleteFileW(bare.c_str());
}

TEST_F(ResolveCommandLineTest, EnvironmentReferencesAreExpanded) {
  const std::u16string root = Expand(u"%SystemRoot%");
  if (root.empty() || root == u"%SystemRoot%" || root.size() < 3 || root[1] != u':')
    GTEST_SKIP() << "this system defines no SystemRoot";
  EXPECT_EQ(root + u"\\system32\\tool.exe", Resolve(u"%SystemRoot%\\system32\\tool.exe -start"));
}

TEST_F(ResolveCommandLineTest, OversizedResultsLeaveNoUsablePath) {
  // An extension over 31 characters does not fit its part.
  std::u16string longExt = u"C:\\dir\\file." + std::u16string(40, u'e');
  EXPECT_EQ(u"", Resolve(longExt));

  // A line that fits 259 characters as written but not once expanded: a
  // reference whose value is longer than its name, then padding.
  for (const char16_t* name : {u"%CommonProgramFiles%", u"%ProgramFiles%", u"%APPDATA%",
                               u"%USERPROFILE%", u"%windir%"}) {
    const std::u16string value = Expand(name);
    if (value.empty() || value == name || value.size() <= wtext::Length(name)) continue;
    std::u16string line = std::u16string(name) + u"\\";
    line += std::u16string(259 - line.size(), u'a');
    EXPECT_EQ(u"", Resolve(line)) << "expanding " << wtext::ToUtf8(name);
    return;
  }
  GTEST_SKIP() << "no environment reference here grows when expanded";
}

}  // namespace
