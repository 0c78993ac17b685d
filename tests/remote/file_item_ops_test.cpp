// Disable, enable and delete of startup files: where the file goes, what
// may be overwritten, and the names and paths that are refused.
#include <string>

#include "platform/platform.h"
#include "remote/file_item_ops.h"
#include "remote/item_guards.h"
#include "tests/remote/ops_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/system_image.h"
#endif

namespace opstest {
namespace {

class FileItemTest : public OpsTest {
 protected:
  std::u16string Put(const std::u16string& folder, const std::u16string& name,
                     const std::string& bytes) {
    std::u16string path = folder + u"\\" + name;
    EXPECT_TRUE(testsys::WriteFileBytes(path, bytes)) << Utf8(path);
    return path;
  }
};

TEST_F(FileItemTest, DisabledFilesFolderIsBesideTheModule) {
  char16_t folder[261] = {};
  ASSERT_TRUE(DisabledFilesFolder(folder, 261));
  EXPECT_EQ(DisabledFolder(), folder);
  char16_t tooSmall[8] = {};
  EXPECT_FALSE(DisabledFilesFolder(tooSmall, 8));
  EXPECT_EQ(u'\0', tooSmall[0]);
}

TEST_F(FileItemTest, AllUsersFileIsDisabledThenEnabledIntoTheUsersFolder) {
  std::u16string original = Put(CommonStartup(), u"Helper.lnk", "shortcut bytes");
  CommandItem item = MakeItem(u"Helper.lnk", u"", original, 11);

  ASSERT_EQ(0, DisableFileItem(item));
  const std::u16string disabled = DisabledFolder() + u"\\Helper.lnk";
  EXPECT_EQ(disabled, item.subkey);
  EXPECT_FALSE(testsys::FileExists(original));
  EXPECT_EQ("shortcut bytes", FileText(disabled));

  ASSERT_EQ(0, EnableFileItem(item));
  const std::u16string enabled = UserStartup() + u"\\Helper.lnk";
  EXPECT_EQ(enabled, item.subkey);
  EXPECT_FALSE(testsys::FileExists(disabled));
  EXPECT_FALSE(testsys::FileExists(original)) << "enabling never goes back to all users";
  EXPECT_EQ("shortcut bytes", FileText(enabled));
}

TEST_F(FileItemTest, IdenticalLeftoverCopyIsReplacedButADifferentFileIsKept) {
  std::u16string source = Put(UserStartup(), u"Tool.lnk", "same");
  ASSERT_TRUE(testsys::MakeFolders(DisabledFolder()));
  std::u16string leftover = Put(DisabledFolder(), u"Tool.lnk", "same");
  CommandItem item = MakeItem(u"Tool.lnk", u"", source, 12);
  ASSERT_EQ(0, DisableFileItem(item));
  EXPECT_FALSE(testsys::FileExists(source));
  EXPECT_EQ("same", FileText(leftover));

  std::u16string other = Put(UserStartup(), u"Tool.lnk", "a different program");
  Snapshot before;
  before.File(other).File(leftover);
  before.Take();
  CommandItem second = MakeItem(u"Tool.lnk", u"", other, 12);
  EXPECT_EQ(-1, DisableFileItem(second));
  EXPECT_EQ(other, second.subkey);
  Snapshot after = before;
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();

  // The same clash the other way round: enabling onto a different file.
  CommandItem back = MakeItem(u"Tool.lnk", u"", leftover, 11);
  EXPECT_EQ(-1, EnableFileItem(back));
  after.Take();
  EXPECT_TRUE(before == after) << after.Describe();
}

TEST_F(FileItemTest, FileAlreadyInTheTargetFolderStaysWhereItIs) {
  ASSERT_TRUE(testsys::MakeFolders(DisabledFolder()));
  std::u16string disabled = Put(DisabledFolder(), u"Idle.lnk", "idle");
  CommandItem item = MakeItem(u"Idle.lnk", u"", disabled, 11);
  EXPECT_EQ(0, DisableFileItem(item));
  EXPECT_EQ("idle", FileText(disabled));

  std::u16string enabled = Put(UserStartup(), u"Busy.lnk", "busy");
  CommandItem on = MakeItem(u"Busy.lnk", u"", enabled, 12);
  EXPECT_EQ(0, EnableFileItem(on));
  EXPECT_EQ("busy", FileText(enabled));
}

TEST_F(FileItemTest, DeleteRemovesAStartupFileAndAcceptsOneAlreadyGone) {
  std::u16string path = Put(UserStartup(), u"Old.lnk", "old");
  CommandItem item = MakeItem(u"Old.lnk", u"", path, 12);
  EXPECT_EQ(0, DeleteFileItem(item));
  EXPECT_FALSE(testsys::FileExists(path));
  EXPECT_EQ(0, DeleteFileItem(item)) << "already gone";
  EXPECT_EQ(path, item.subkey);
}

// Names and paths that would reach outside the folders an item may live in.
TEST_F(FileItemTest, NamesAndPathsOutsideTheItemFoldersAreRefused) {
  std::u16string victim = Put(testsys::ScratchFolder(), u"victim.txt", "precious");
  std::u16string startupFile = Put(UserStartup(), u"App.lnk", "app");
  std::u16string moduleNeighbour = testsys::ModuleFolder() + u"App.lnk";
  std::u16string escapedTarget = testsys::ModuleFolder() + u"escaped.lnk";
  struct Case {
    const char* what;
    int (*operation)(CommandItem&);
    std::u16string name;
    std::u16string subkey;
  };
  const Case cases[] = {
      {"disable with a name climbing out", DisableFileItem, u"..\\escaped.lnk", startupFile},
      {"enable with a name climbing out", EnableFileItem, u"..\\escaped.lnk", startupFile},
      {"disable with a forward slash", DisableFileItem, u"../escaped.lnk", startupFile},
      {"disable with a drive", DisableFileItem, u"C:escaped.lnk", startupFile},
      {"disable with an empty name", DisableFileItem, u"", startupFile},
      {"enable with an empty name", EnableFileItem, u"", startupFile},
      {"disable with a dot-dot name", DisableFileItem, u"..", startupFile},
      {"delete with an empty name", DeleteFileItem, u"", startupFile},
      {"disable to a path longer than its buffer", DisableFileItem,
       std::u16string(250, u'n') + u".lnk", startupFile},
      {"enable to a path longer than its buffer", EnableFileItem,
       std::u16string(250, u'n') + u".lnk", startupFile},
      {"disable of a file elsewhere", DisableFileItem, u"victim.txt", victim},
      {"enable of a file elsewhere", EnableFileItem, u"victim.txt", victim},
      {"delete of a file elsewhere", DeleteFileItem, u"victim.txt", victim},
      {"delete through a dot-dot path", DeleteFileItem, u"victim.txt",
       UserStartup() + u"\\..\\victim.txt"},
      {"delete of a path without a folder", DeleteFileItem, u"App.lnk", u"App.lnk"},
      {"delete of the startup folder itself", DeleteFileItem, u"Startup", UserStartup()},
  };
  Snapshot before;
  before.File(victim).File(startupFile).File(moduleNeighbour).File(escapedTarget);
  before.File(UserStartup() + u"\\victim.txt").File(DisabledFolder() + u"\\victim.txt");
  before.Take();
  for (const Case& c : cases) {
    CommandItem item = MakeItem(c.name, u"", c.subkey, 12);
    EXPECT_EQ(-1, c.operation(item)) << c.what;
    Snapshot after = before;
    after.Take();
    EXPECT_TRUE(before == after) << c.what << "\n" << after.Describe();
  }
}

TEST_F(FileItemTest, MsconfigItemsHandedToDisableAreRefusedUnlessInAStartupFolder) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRun, u"Reg", u"c:\\reg.exe"));
  CommandItem reg = MakeItem(u"Reg", u"HKEY_CURRENT_USER", kRun, 100);
  EXPECT_EQ(-1, DisableFileItem(reg));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, u"Reg"));
  // A folder record names where its file came from; the file is not there.
  CommandItem folder = MakeItem(u"Gone.lnk", u"", UserStartup() + u"\\Gone.lnk", 101);
  EXPECT_EQ(-1, DisableFileItem(folder));
}


// "É.lnk" and "é.lnk" are one file to the file system, two names to an
// ASCII comparison: enabling a file already in the startup folder under the
// other spelling must neither copy it onto itself nor delete it.
TEST_F(FileItemTest, AFileReachedUnderAnotherSpellingIsTheSameFileAndIsKept) {
  const std::u16string path = Put(UserStartup(), u"\u00e9.lnk", "kept bytes");
  CommandItem item = MakeItem(u"\u00c9.lnk", u"", path, 12);
  EXPECT_EQ(0, EnableFileItem(item));
  EXPECT_EQ("kept bytes", FileText(path)) << "the file is still there";
}

#ifndef _WIN32
// A module installed outside the image (Z:\...) keeps each image's disabled
// files inside that image, so images never see each other's.
TEST_F(FileItemTest, DisabledFilesStayInsideTheImageWhenTheModuleIsOutsideIt) {
  platform::SetModuleFileNameForTesting(u"Z:\\opt\\runvane\\librunvane.so");
  char16_t folder[261] = {};
  ASSERT_TRUE(DisabledFilesFolder(folder, 261));
  EXPECT_EQ(std::u16string(u"C:\\ProgramData\\Runvane\\TidyraDisableFile"), folder);
  std::u16string original = Put(UserStartup(), u"Helper.lnk", "bytes");
  CommandItem item = MakeItem(u"Helper.lnk", u"", original, 12);
  ASSERT_EQ(0, DisableFileItem(item));
  EXPECT_EQ(std::u16string(folder) + u"\\Helper.lnk", item.subkey);
  EXPECT_EQ("bytes", FileText(item.subkey));
  ASSERT_EQ(0, EnableFileItem(item));
  EXPECT_EQ("bytes", FileText(original));
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
}
#endif

#ifndef _WIN32
// A startup file that is a symbolic link is moved as the link: what it
// points at is neither copied nor deleted.
TEST_F(FileItemTest, ALinkedStartupFileIsMovedAsALink) {
  const std::u16string target = testsys::ScratchFolder() + u"\\real.exe";
  ASSERT_TRUE(testsys::WriteFileBytes(target, "program"));
  const std::string targetHost = platform::image::HostPath(target.c_str());
  const std::u16string link = UserStartup() + u"\\Linked.lnk";
  const std::string linkHost = platform::image::HostPath(link.c_str());
  ASSERT_EQ(0, symlink(targetHost.c_str(), linkHost.c_str()));
  CommandItem item = MakeItem(u"Linked.lnk", u"", link, 12);
  ASSERT_EQ(0, DisableFileItem(item));
  std::string moved = platform::image::HostPath(item.subkey);
  struct stat st;
  ASSERT_EQ(0, lstat(moved.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the disabled item is the link itself";
  EXPECT_NE(0, lstat(linkHost.c_str(), &st));
  EXPECT_EQ("program", FileText(target)) << "what it points at is untouched";
  ASSERT_EQ(0, EnableFileItem(item));
  ASSERT_EQ(0, lstat(linkHost.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(0, DeleteFileItem(item));
  EXPECT_EQ("program", FileText(target)) << "deleting the link keeps its target";
}
#endif

}  // namespace
}  // namespace opstest
