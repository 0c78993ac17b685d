// The response file: replaced whole or not at all, through a new file beside
// it that is renamed over it, never written through a symbolic link; a
// response that could not be written fails the call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>

#include "platform/linux/system_image.h"
#endif

#include "platform/file_io.h"
#include "platform/platform.h"
#include "plugin/exports.h"
#include "tests/remote/remote_support.h"

namespace remotetest {
namespace {

// The names in a folder, "." and ".." left out.
std::vector<std::u16string> Names(const std::u16string& folder) {
  std::vector<std::u16string> names;
  platform::FindDataW data = {};
  HANDLE find = platform::FindFirstFileW((folder + u"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::u16string name = data.cFileName;
    if (name != u"." && name != u"..") names.push_back(name);
  } while (platform::FindNextFileW(find, &data));
  platform::FindClose(find);
  return names;
}

class ResponseFileTest : public RemoteTest {
 protected:
  std::u16string Folder() {
    const std::u16string folder = testsys::ScratchFolder() + u"\\replace";
    testsys::MakeFolders(folder);
    return folder;
  }
};

TEST_F(ResponseFileTest, ReplacingLeavesOnlyTheNewContentAndNoTemporaryFile) {
  const std::u16string path = Folder() + u"\\out.xml";
  ASSERT_TRUE(testsys::WriteFileBytes(path, "old content that is longer"));
  ASSERT_TRUE(platform::ReplaceWholeFile(path.c_str(), "new", 3));
  std::string bytes;
  ASSERT_TRUE(testsys::ReadFileBytes(path, &bytes));
  EXPECT_EQ("new", bytes);
  EXPECT_EQ(std::vector<std::u16string>{u"out.xml"}, Names(Folder()));

  ASSERT_TRUE(platform::ReplaceWholeFile(path.c_str(), "", 0));
  ASSERT_TRUE(testsys::ReadFileBytes(path, &bytes));
  EXPECT_EQ("", bytes);
}

TEST_F(ResponseFileTest, MissingFolderFailsAndMakesNothing) {
  const std::u16string path = Folder() + u"\\no such folder\\out.xml";
  platform::SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(platform::ReplaceWholeFile(path.c_str(), "x", 1));
  EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), platform::GetLastError());
  EXPECT_TRUE(Names(Folder()).empty());
}

TEST_F(ResponseFileTest, MoveReplacesOnlyWhenAsked) {
  const std::u16string from = Folder() + u"\\from.txt";
  const std::u16string to = Folder() + u"\\to.txt";
  ASSERT_TRUE(testsys::WriteFileBytes(from, "from"));
  ASSERT_TRUE(testsys::WriteFileBytes(to, "to"));
  EXPECT_FALSE(platform::MoveFileExW(from.c_str(), to.c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), platform::GetLastError());
  ASSERT_TRUE(platform::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
  std::string bytes;
  ASSERT_TRUE(testsys::ReadFileBytes(to, &bytes));
  EXPECT_EQ("from", bytes);
  EXPECT_FALSE(testsys::FileExists(from));
  EXPECT_FALSE(platform::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
      << "the source is gone";
}

#ifndef _WIN32
// A symbolic link at the response path is replaced by the response; the file
// it pointed at is left as it was.
TEST_F(ResponseFileTest, ResponseReplacesASymbolicLinkInsteadOfFollowingIt) {
  const std::u16string victim = Folder() + u"\\victim.txt";
  ASSERT_TRUE(testsys::WriteFileBytes(victim, "precious"));
  const std::string link = platform::image::HostPath(ResponsePath().c_str());
  ASSERT_EQ(0, symlink(platform::image::HostPath(victim.c_str()).c_str(), link.c_str()));

  ASSERT_TRUE(testsys::WriteFileBytes(CommandPath(), CommandXml(u"VEK_GetAutoRunList_RUN", {})));
  EXPECT_EQ(0, VEK_RemoteInvoke(CommandPath().c_str(), ResponsePath().c_str()));
  std::string bytes;
  ASSERT_TRUE(testsys::ReadFileBytes(ResponsePath(), &bytes));
  EXPECT_EQ(0, bytes.compare(0, 2, "\xFF\xFE")) << "the response is where the link was";
  ASSERT_TRUE(testsys::ReadFileBytes(victim, &bytes));
  EXPECT_EQ("precious", bytes);
  char target[16];
  EXPECT_EQ(-1, readlink(link.c_str(), target, sizeof target)) << "no longer a link";
}
#endif

TEST_F(ResponseFileTest, ResponseThatCannotBeWrittenFailsTheCall) {
  ASSERT_TRUE(testsys::WriteFileBytes(CommandPath(), CommandXml(u"VEK_GetAutoRunList_RUN", {})));
  const std::u16string missing = Folder() + u"\\no such folder\\response.xml";
  EXPECT_EQ(-1, VEK_RemoteInvoke(CommandPath().c_str(), missing.c_str()));
  EXPECT_FALSE(testsys::FileExists(missing));

  // Per-item commands as well.
  ASSERT_TRUE(testsys::WriteFileBytes(
      CommandPath(), CommandXml(u"VEK_DeleteAutoRun_RUN",
                                {Item(u"Absent", u"HKEY_CURRENT_USER", kRunPath, u"1")})));
  EXPECT_EQ(-1, VEK_RemoteInvoke(CommandPath().c_str(), missing.c_str()));

  // The same command with a response that can be written succeeds.
  ASSERT_TRUE(testsys::WriteFileBytes(CommandPath(), CommandXml(u"VEK_GetAutoRunList_RUN", {})));
  EXPECT_EQ(0, VEK_RemoteInvoke(CommandPath().c_str(), ResponsePath().c_str()));
}

}  // namespace
}  // namespace remotetest
