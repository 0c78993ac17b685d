// The facts an item gets from the program it starts, on the fixture
// executables placed into the system under test.
#include "enrich/file_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

const char16_t kUnknown[] = u"未知";
const char16_t kAppFolder[] = u"C:\\Program Files\\Fixture App";

std::string Utf8(const char16_t* text) { return wtext::ToUtf8(text); }

_RunData ItemFor(const std::u16string& commandLine) {
  _RunData item;
  std::memset(&item, 0, sizeof(item));
  wtext::Copy(item.cmdline, commandLine.c_str());
  return item;
}

int64_t FixtureSize(const char* name) {
  std::string bytes;
  return fixtures::ReadBytes(name, &bytes) ? static_cast<int64_t>(bytes.size()) : -1;
}

class FileFactsTest : public ::testing::Test {
 protected:
  std::u16string Install(const char* fixture, const char16_t* fileName) {
    std::u16string path = std::u16string(kAppFolder) + u"\\" + fileName;
    EXPECT_TRUE(fixtures::Install(fixture, path)) << "installing " << fixture;
    return path;
  }

  testsys::CleanSystem system_;
};

TEST_F(FileFactsTest, QuotedCommandLineGetsEveryFact) {
  std::u16string path = Install("normal.exe", u"tray.exe");
  _RunData item = ItemFor(u"\"" + path + u"\" /tray");
  FillFileFacts(item);
  EXPECT_STREQ("Fixture tray helper", Utf8(item.desc).c_str());
  EXPECT_STREQ("Fixture Works Ltd", Utf8(item.company).c_str());
  EXPECT_STREQ("1.2.3.4", Utf8(item.version).c_str());
  EXPECT_EQ(FixtureSize("normal.exe"), item.size);
}

TEST_F(FileFactsTest, DescriptionFromTheKnowledgeBaseIsKept) {
  std::u16string path = Install("normal.exe", u"tray.exe");
  _RunData item = ItemFor(path);
  wtext::Copy(item.desc, u"Known helper");
  FillFileFacts(item);
  EXPECT_STREQ("Known helper", Utf8(item.desc).c_str());
  EXPECT_STREQ("Fixture Works Ltd", Utf8(item.company).c_str());
}

TEST_F(FileFactsTest, LongCompanyIsCutTo256Characters) {
  std::u16string path = Install("long_company.exe", u"long.exe");
  _RunData item = ItemFor(path);
  FillFileFacts(item);
  std::u16string expected;
  for (int i = 0; i < 26; ++i) expected += u"0123456789";
  expected.resize(256);
  EXPECT_EQ(expected, std::u16string(item.company));

  char16_t out[257];
  EXPECT_EQ(1, ReadVersionString(path.c_str(), u"CompanyName", out));
  EXPECT_EQ(256u, wtext::Length(out));
}

TEST_F(FileFactsTest, OnlyTheFirstTranslationIsTried) {
  std::u16string path = Install("other_code_page.exe", u"other.exe");
  _RunData item = ItemFor(path);
  FillFileFacts(item);
  EXPECT_STREQ("", Utf8(item.desc).c_str());
  EXPECT_EQ(std::u16string(kUnknown), item.company);
  EXPECT_EQ(std::u16string(kUnknown), item.version);
  EXPECT_EQ(FixtureSize("other_code_page.exe"), item.size);
}

TEST_F(FileFactsTest, ChineseStringsAreRead) {
  std::u16string path = Install("chinese.exe", u"中文.exe");
  _RunData item = ItemFor(path);
  FillFileFacts(item);
  EXPECT_EQ(std::u16string(u"自启动测试程序"), item.desc);
  EXPECT_EQ(std::u16string(u"示例软件有限公司"), item.company);
  EXPECT_STREQ("2.0.1.5", Utf8(item.version).c_str());
}

TEST_F(FileFactsTest, FileWithoutVersionResourceStillHasItsSize) {
  std::u16string path = Install("no_version.exe", u"plain.exe");
  _RunData item = ItemFor(path);
  FillFileFacts(item);
  EXPECT_STREQ("", Utf8(item.desc).c_str());
  EXPECT_EQ(std::u16string(kUnknown), item.company);
  EXPECT_EQ(std::u16string(kUnknown), item.version);
  EXPECT_EQ(FixtureSize("no_version.exe"), item.size);
  EXPECT_GT(item.size, 0);
}

TEST_F(FileFactsTest, MissingProgramGivesPlaceholdersAndNoSize) {
  _RunData item = ItemFor(u"C:\\WINDOWS\\system32\\rundll32.exe shell32.dll,Control_RunDLL");
  FillFileFacts(item);
  EXPECT_STREQ("", Utf8(item.desc).c_str());
  EXPECT_EQ(std::u16string(kUnknown), item.company);
  EXPECT_EQ(std::u16string(kUnknown), item.version);
  EXPECT_EQ(0, item.size);
  _RunData unresolved = ItemFor(u"rv-absent.exe /quiet");
  FillFileFacts(unresolved);
  EXPECT_EQ(std::u16string(kUnknown), unresolved.company);
  EXPECT_EQ(0, unresolved.size);
}

TEST_F(FileFactsTest, ProgramFoundOnTheSearchPath) {
  const std::u16string target = fixtures::System32Folder() + u"\\rvsearched.exe";
  ASSERT_TRUE(fixtures::Install("searched.exe", target));
  _RunData item = ItemFor(u"rvsearched.exe /background");
  FillFileFacts(item);
  EXPECT_STREQ("Found on the search path", Utf8(item.desc).c_str());
  EXPECT_STREQ("5.6.7.8", Utf8(item.version).c_str());
  EXPECT_EQ(FixtureSize("searched.exe"), item.size);
  platform::DeleteFileW(target.c_str());
}

TEST_F(FileFactsTest, NativeSystemRootPathIsOpenedInTheWindowsFolder) {
  const std::u16string target = fixtures::System32Folder() + u"\\rvtool";
  ASSERT_TRUE(fixtures::Install("no_version.exe", target));
  EXPECT_EQ(FixtureSize("no_version.exe"), GetFileSizeOf(u"\\SystemRoot\\System32\\rvtool"));
  _RunData item = ItemFor(u"\\SystemRoot\\System32\\rvtool");
  FillFileFacts(item);
  EXPECT_EQ(FixtureSize("no_version.exe"), item.size);
  platform::DeleteFileW(target.c_str());
}

TEST_F(FileFactsTest, DevicePrefixIsDropped) {
  std::u16string path = Install("no_version.exe", u"plain.exe");
  EXPECT_EQ(FixtureSize("no_version.exe"), GetFileSizeOf((u"\\??\\" + path).c_str()));
  EXPECT_EQ(0, GetFileSizeOf(u"\\??\\C:\\rv-absent\\none.exe"));
}

TEST(NormalizeNativePath, RewritesOnlyExactPrefixes) {
  char16_t path[260];
  wtext::Copy(path, u"\\??\\C:\\x.exe");
  NormalizeNativePath(path);
  EXPECT_EQ(std::u16string(u"C:\\x.exe"), path);

  wtext::Copy(path, u"\\systemroot\\x.exe");
  NormalizeNativePath(path);
  EXPECT_EQ(std::u16string(u"\\systemroot\\x.exe"), path) << "the prefix test is case-sensitive";

  wtext::Copy(path, u"C:\\SystemRoot\\x.exe");
  NormalizeNativePath(path);
  EXPECT_EQ(std::u16string(u"C:\\SystemRoot\\x.exe"), path);
}

TEST(NormalizeNativePath, RewritesIntoTheWindowsFolderWithinTheBuffer) {
  testsys::CleanSystem system;
  const std::u16string windows = fixtures::WindowsFolder();
  char16_t path[260];
  wtext::Copy(path, u"\\SystemRoot\\System32\\a.exe");
  NormalizeNativePath(path);
  EXPECT_EQ(windows + u"\\System32\\a.exe", std::u16string(path));

  // The longest path the buffer holds: rewritten whole when the result
  // fits, else left as it was (never cut).
  const std::u16string rest(259 - 12, u'a');
  const std::u16string longest = u"\\SystemRoot\\" + rest;
  wtext::Copy(path, longest.c_str());
  NormalizeNativePath(path);
  if (windows.size() + 1 + rest.size() <= 259)
    EXPECT_EQ(windows + u"\\" + rest, std::u16string(path));
  else
    EXPECT_EQ(longest, std::u16string(path));
}

TEST(GetModuleDirectory, IsTheModulePathUpToItsLastBackslash) {
  testsys::CleanSystem system;
  char16_t out[260];
  wtext::Copy(out, u"untouched");
  ASSERT_EQ(1, GetModuleDirectory(platform::ThisModule(), out));
  EXPECT_EQ(testsys::ModuleFolder(), std::u16string(out));
  EXPECT_EQ(u'\\', out[wtext::Length(out) - 1]);
}

}  // namespace

namespace {

// True when this test program is a 32-bit process on 64-bit Windows, the
// only place where System32 is redirected.
bool RunsUnderWow64() {
#if defined(_WIN32) && !defined(_WIN64)
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#else
  return false;
#endif
}

TEST_F(FileFactsTest, ProgramUnderTheSystemFolderGetsItsFactsAndRedirectionIsRestored) {
  const std::u16string path = fixtures::System32Folder() + u"\\rv-system-tool.exe";
  ASSERT_TRUE(fixtures::Install("normal.exe", path));
  _RunData item = ItemFor(u"%windir%\\System32\\rv-system-tool.exe /tray");
  FillFileFacts(item);
  EXPECT_STREQ("Fixture Works Ltd", Utf8(item.company).c_str());
  EXPECT_EQ(FixtureSize("normal.exe"), item.size);
  // Redirection (where there is any) is on again after the read.
  void* old = nullptr;
  if (platform::Wow64DisableWow64FsRedirection(&old)) platform::Wow64RevertWow64FsRedirection(old);
  platform::DeleteFileW(path.c_str());
}

TEST_F(FileFactsTest, ThirtyTwoBitModuleOn64BitWindowsReadsTheNativeSystemFolder) {
  if (!RunsUnderWow64())
    GTEST_SKIP() << "needs a 32-bit module on 64-bit Windows (WOW64); a 64-bit process and the "
                    "Linux image have no System32 redirection, and this machine cannot run "
                    "32-bit programs";
  // The native folder is reached as Sysnative from a redirected process;
  // SysWOW64 holds another program of the same name.
  const std::u16string windows = fixtures::WindowsFolder();
  ASSERT_TRUE(fixtures::Install("normal.exe", windows + u"\\Sysnative\\rv-wow-tool.exe"));
  ASSERT_TRUE(fixtures::Install("long_company.exe", windows + u"\\SysWOW64\\rv-wow-tool.exe"));
  _RunData item = ItemFor(windows + u"\\System32\\rv-wow-tool.exe");
  FillFileFacts(item);
  EXPECT_STREQ("Fixture Works Ltd", Utf8(item.company).c_str()) << "read from SysWOW64";
  EXPECT_EQ(FixtureSize("normal.exe"), item.size);
  platform::DeleteFileW((windows + u"\\Sysnative\\rv-wow-tool.exe").c_str());
  platform::DeleteFileW((windows + u"\\SysWOW64\\rv-wow-tool.exe").c_str());
}

// A scan reads each program once: items naming one program get its facts
// from the first read, however the command line names it, and each item
// still keeps its own knowledge-base description.
TEST_F(FileFactsTest, AScansCacheReadsEachProgramOnce) {
  const std::u16string path = Install("normal.exe", u"shared.exe");
  ProgramFactsCache cache;
  _RunData first = ItemFor(u"\"" + path + u"\" /one");
  FillFileFacts(first, cache);
  ASSERT_TRUE(platform::DeleteFileW(path.c_str()));
  _RunData second = ItemFor(path + u" -two");
  wtext::Copy(second.desc, u"Known helper");
  FillFileFacts(second, cache);
  EXPECT_EQ(1u, cache.Size());
  EXPECT_STREQ("Known helper", Utf8(second.desc).c_str());
  EXPECT_STREQ("Fixture Works Ltd", Utf8(second.company).c_str()) << "read again";
  EXPECT_EQ(first.size, second.size);

  // A new scan reads the program anew: it is gone now.
  cache.Clear();
  _RunData third = ItemFor(path);
  FillFileFacts(third, cache);
  EXPECT_STREQ(Utf8(kUnknown).c_str(), Utf8(third.company).c_str());
  EXPECT_EQ(0, third.size);
}

}  // namespace
