// The files of a startup folder as startup items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/startup_folder_scanner.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

std::vector<std::u16string> g_reported;
int g_cancelAfter = 0;

int32_t __cdecl Progress(const char16_t* text, int32_t, int32_t, int32_t, int32_t, int32_t,
                         int32_t, int32_t, int32_t) {
  g_reported.push_back(text);
  return g_cancelAfter > 0 && static_cast<int>(g_reported.size()) >= g_cancelAfter ? 1 : 0;
}

std::u16string Folder(int csidl) {
  char16_t path[MAX_PATH] = {};
  platform::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

class StartupFolderTest : public ::testing::Test {
 protected:
  StartupFolderTest() : context_(Progress, &counter_, 0) {
    g_reported.clear();
    g_cancelAfter = 0;
    user_ = Folder(CSIDL_STARTUP);
    common_ = Folder(CSIDL_COMMON_STARTUP);
  }

  void Write(const std::u16string& folder, const char16_t* name) {
    ASSERT_TRUE(testsys::WriteFileBytes(folder + u"\\" + name, "[shortcut]"))
        << wtext::ToUtf8(name);
  }

  const _RunData* Find(const char16_t* name) const {
    for (int i = 0; i < context_.inventory.GetSize(); ++i)
      if (std::u16string(context_.inventory.GetAt(i).name) == name) return &context_.inventory.GetAt(i);
    return nullptr;
  }

  testsys::CleanSystem system_;
  int32_t counter_ = 0;
  ScanContext context_;
  std::u16string user_, common_;
};

TEST_F(StartupFolderTest, ShellFilesAndSubFoldersAreLeftOut) {
  ASSERT_FALSE(user_.empty());
  Write(user_, u"DESKTOP.INI");
  Write(user_, u"index.DAT");
  ASSERT_TRUE(testsys::MakeFolders(user_ + u"\\Sub Folder"));
  Write(user_ + u"\\Sub Folder", u"inner.lnk");
  EXPECT_EQ(1, ScanStartupFolder(user_.c_str(), kTypeUserStartup, context_));
  EXPECT_EQ(0, context_.inventory.GetSize());
  EXPECT_EQ(0, counter_);
  EXPECT_TRUE(g_reported.empty());
}

TEST_F(StartupFolderTest, FileBecomesAnItemNamedByItsFileName) {
  Write(user_, u"Note.TXT");
  Write(user_, u"README");
  EXPECT_EQ(1, ScanStartupFolder(user_.c_str(), kTypeUserStartup, context_));
  ASSERT_EQ(2, context_.inventory.GetSize());
  EXPECT_EQ(2, counter_);

  const _RunData* note = Find(u"Note.TXT");
  ASSERT_NE(nullptr, note);
  const std::u16string path = user_ + u"\\Note.TXT";
  EXPECT_EQ(path, std::u16string(note->cmdline));
  EXPECT_EQ(path, std::u16string(note->subkey));
  EXPECT_EQ(u"", std::u16string(note->mainkey));
  EXPECT_EQ(kKindFolderFile, note->kind);
  EXPECT_EQ(1, note->status);
  EXPECT_EQ(kTypeUserStartup, note->type);
  EXPECT_EQ(std::u16string(u"未知"), note->company) << "the file facts were filled";
  EXPECT_EQ(10, note->size);
  EXPECT_NE(nullptr, Find(u"README")) << "a name without extension is its base name";
  EXPECT_EQ(2u, g_reported.size());
  EXPECT_TRUE(g_reported[0] == path || g_reported[1] == path) << "reported by full path";
}

TEST_F(StartupFolderTest, ProgramInTheFolderGetsItsVersionFacts) {
  ASSERT_TRUE(fixtures::Install("normal.exe", user_ + u"\\Tray.exe"));
  ScanStartupFolder(user_.c_str(), kTypeUserStartup, context_);
  const _RunData* tray = Find(u"Tray.exe");
  ASSERT_NE(nullptr, tray);
  EXPECT_STREQ("Fixture tray helper", wtext::ToUtf8(tray->desc).c_str());
  EXPECT_STREQ("1.2.3.4", wtext::ToUtf8(tray->version).c_str());
}

TEST_F(StartupFolderTest, SameNameInBothFoldersGivesTwoItems) {
  ASSERT_FALSE(common_.empty());
  Write(common_, u"Same.lnk");
  Write(user_, u"Same.lnk");
  ScanStartupFolder(common_.c_str(), kTypeCommonStartup, context_);
  ScanStartupFolder(user_.c_str(), kTypeUserStartup, context_);
  ASSERT_EQ(2, context_.inventory.GetSize());
  EXPECT_EQ(kTypeCommonStartup, context_.inventory.GetAt(0).type);
  EXPECT_EQ(kTypeUserStartup, context_.inventory.GetAt(1).type);
  EXPECT_EQ(std::u16string(u"Same.lnk"), context_.inventory.GetAt(1).name);
}

TEST_F(StartupFolderTest, FolderThatCannotBeListedGivesNothing) {
  EXPECT_EQ(0, ScanStartupFolder(u"", kTypeUserStartup, context_));
  EXPECT_EQ(0, ScanStartupFolder(u"C:\\rv-no-such-folder", kTypeUserStartup, context_));
  EXPECT_EQ(0, counter_);
}

TEST_F(StartupFolderTest, CancelFinishesTheCurrentFileAndStops) {
  Write(user_, u"a.lnk");
  Write(user_, u"b.lnk");
  Write(user_, u"c.lnk");
  g_cancelAfter = 1;
  EXPECT_EQ(1, ScanStartupFolder(user_.c_str(), kTypeUserStartup, context_));
  EXPECT_EQ(1, context_.inventory.GetSize());
  EXPECT_EQ(1, counter_);
}

TEST_F(StartupFolderTest, EntryWhosePathWouldNotFitIsSkipped) {
  // 200 + 1 + 58 = 259 characters fit; one more does not.
  std::u16string folder = testsys::ScratchFolder() + u"\\";
  folder += std::u16string(200 - folder.size(), u'f');
  ASSERT_EQ(200u, folder.size());
  ASSERT_TRUE(testsys::MakeFolders(folder));
  std::u16string fits(54, u'n');
  fits += u".lnk";
  std::u16string tooLong(55, u'm');
  tooLong += u".lnk";
  Write(folder, fits.c_str());
  if (!testsys::WriteFileBytes(folder + u"\\" + tooLong, "x"))
    GTEST_SKIP() << "this file system refuses paths over 259 characters";
  EXPECT_EQ(1, ScanStartupFolder(folder.c_str(), kTypeUserStartup, context_));
  ASSERT_EQ(1, context_.inventory.GetSize());
  EXPECT_EQ(fits, std::u16string(context_.inventory.GetAt(0).name));
  EXPECT_EQ(1, counter_);
}

}  // namespace
