// File operations and their error codes, the same on both backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/call_scope.h"
#include "platform/file_io.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/system_image.h"
#include "tests/support/wine_prefix.h"
#endif

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = testsys::ScratchFolder(); }
  void TearDown() override { RemoveTree(folder_); }

  std::u16string Path(const char16_t* rest) const { return folder_ + u"\\" + rest; }

  // Name -> attributes of a folder's listing, through the platform layer.
  static std::map<std::u16string, DWORD> List(const std::u16string& pattern) {
    std::map<std::u16string, DWORD> entries;
    platform::FindDataW data = {};
    platform::ScopedFind find(platform::FindFirstFileW(pattern.c_str(), &data));
    if (!find.valid()) return entries;
    do {
      entries[data.cFileName] = data.dwFileAttributes;
    } while (platform::FindNextFileW(find.get(), &data));
    return entries;
  }

  static void RemoveTree(const std::u16string& folder) {
    for (const auto& entry : List(folder + u"\\*.*")) {
      if (entry.first == u"." || entry.first == u"..") continue;
      std::u16string path = folder + u"\\" + entry.first;
      if (entry.second & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else platform::DeleteFileW(path.c_str());
    }
    platform::RemoveDirectoryW(folder.c_str());
  }

  testsys::CleanSystem system_;
  std::u16string folder_;
};

TEST_F(Files, ListingFindsEntriesIgnoringCaseWithEitherSeparator) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"Dir\\File.TXT"), "hello"));
  ASSERT_TRUE(testsys::MakeFolders(Path(u"Dir\\Sub")));
  std::u16string mixed = folder_;
  std::transform(mixed.begin(), mixed.end(), mixed.begin(),
                 [](char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; });
  for (const std::u16string& pattern : {mixed + u"\\dIR\\*.*", folder_ + u"/dir/*.*"}) {
    auto entries = List(pattern);
    ASSERT_EQ(entries.size(), 4u) << "pattern " << testing::PrintToString(pattern);
    EXPECT_TRUE(entries.count(u"."));
    EXPECT_TRUE(entries.count(u".."));
    ASSERT_TRUE(entries.count(u"File.TXT")) << "names keep their own case";
    EXPECT_EQ(entries[u"File.TXT"] & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(entries[u"Sub"] & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
  auto txt = List(Path(u"dir\\*.txt"));
  EXPECT_EQ(txt.size(), 1u);
}

TEST_F(Files, ListingFailuresTellMissingFolderFromNoMatch) {
  ASSERT_TRUE(testsys::MakeFolders(Path(u"Empty")));
  platform::FindDataW data = {};
  platform::SetLastError(0);
  EXPECT_EQ(platform::FindFirstFileW(Path(u"NoSuchFolder\\*.*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(platform::FindFirstFileW(Path(u"Empty\\*.none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, DeleteReportsWhyItFailed) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"victim.lnk"), "x"));
  ASSERT_TRUE(testsys::MakeFolders(Path(u"AFolder")));
  EXPECT_EQ(platform::DeleteFileW(Path(u"VICTIM.lnk").c_str()), TRUE);
  EXPECT_FALSE(testsys::FileExists(Path(u"victim.lnk")));

  platform::SetLastError(0);
  EXPECT_EQ(platform::DeleteFileW(Path(u"victim.lnk").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform::DeleteFileW(Path(u"NoFolder\\victim.lnk").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(platform::DeleteFileW(Path(u"AFolder").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(testsys::FileExists(Path(u"AFolder")));
}

TEST_F(Files, CopyOverwritesOrRefusesAndLeavesNoPartialFile) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"source.bin"), std::string("new\0data", 8)));
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"target.bin"), "old"));
  std::string bytes;

  EXPECT_EQ(platform::CopyFileW(Path(u"source.bin").c_str(), Path(u"target.bin").c_str(), TRUE), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_EXISTS));
  ASSERT_TRUE(testsys::ReadFileBytes(Path(u"target.bin"), &bytes));
  EXPECT_EQ(bytes, "old");

  EXPECT_EQ(platform::CopyFileW(Path(u"SOURCE.bin").c_str(), Path(u"target.bin").c_str(), FALSE), TRUE);
  ASSERT_TRUE(testsys::ReadFileBytes(Path(u"target.bin"), &bytes));
  EXPECT_EQ(bytes, std::string("new\0data", 8));
  ASSERT_TRUE(testsys::ReadFileBytes(Path(u"source.bin"), &bytes)) << "the source stays";

  EXPECT_EQ(platform::CopyFileW(Path(u"missing.bin").c_str(), Path(u"copy.bin").c_str(), FALSE), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform::CopyFileW(Path(u"source.bin").c_str(), Path(u"NoFolder\\copy.bin").c_str(), FALSE), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

  auto entries = List(folder_ + u"\\*.*");
  EXPECT_EQ(entries.size(), 4u) << "., .., source.bin and target.bin only";
}

TEST_F(Files, FoldersReportExistingAndMissingParents) {
  EXPECT_EQ(platform::CreateDirectoryW(Path(u"New").c_str(), nullptr), TRUE);
  EXPECT_EQ(platform::CreateDirectoryW(Path(u"new").c_str(), nullptr), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(platform::CreateDirectoryW(Path(u"Missing\\Child").c_str(), nullptr), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"New\\f.txt"), "x"));
  EXPECT_EQ(platform::RemoveDirectoryW(Path(u"New").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(platform::DeleteFileW(Path(u"New\\f.txt").c_str()), TRUE);
  EXPECT_EQ(platform::RemoveDirectoryW(Path(u"New").c_str()), TRUE);
}

TEST_F(Files, SizeOfAnOpenedFile) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"sized.dat"), std::string(1234, 'z')));
  platform::ScopedFile file(platform::CreateFileW(Path(u"SIZED.dat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid());
  DWORD high = 99;
  EXPECT_EQ(platform::GetFileSize(file.get(), &high), 1234u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(platform::GetFileSize(file.get(), nullptr), 1234u);

  platform::SetLastError(0);
  EXPECT_EQ(platform::CreateFileW(Path(u"nothing.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

#ifndef _WIN32

TEST_F(Files, WindowsPathsMapIntoTheImage) {
  using platform::image::HostPath;
  std::string root = platform::image::Root();
  ASSERT_TRUE(testsys::MakeFolders(u"C:\\Mixed\\Case Folder"));
  EXPECT_EQ(HostPath(u"c:\\MIXED\\case folder\\New File.txt"), root + "/drive_c/Mixed/Case Folder/New File.txt")
      << "existing parts are found ignoring case, new ones are kept as spelled";
  EXPECT_EQ(HostPath(u"C:/Mixed/./x/../Case Folder"), root + "/drive_c/Mixed/Case Folder");
  EXPECT_EQ(HostPath(u"Z:\\etc\\hostname"), "/etc/hostname");
  EXPECT_EQ(HostPath(u"Q:\\unmapped"), "");
  EXPECT_EQ(HostPath(u"relative\\path"), "");
  EXPECT_EQ(platform::image::WindowsPath(root + "/drive_c/Mixed/Case Folder"), u"C:\\Mixed\\Case Folder");
  EXPECT_EQ(platform::image::WindowsPath("/usr/lib"), u"Z:\\usr\\lib");
  EXPECT_EQ(platform::image::WindowsPath("/"), u"Z:\\");
}

// Within one export call a path's entries are looked up once, yet the
// mapping follows this process's own deletions and moves and sees entries
// made meanwhile.
TEST_F(Files, MappingWithinACallFollowsTheCallsOwnChanges) {
  using platform::image::HostPath;
  const std::string root = platform::image::Root();
  ASSERT_TRUE(testsys::MakeFolders(u"C:\\Cached\\Old Name"));
  platform::CallScope call;
  EXPECT_EQ(HostPath(u"C:\\cached\\OLD NAME\\a.txt"), root + "/drive_c/Cached/Old Name/a.txt");
  EXPECT_EQ(HostPath(u"C:\\CACHED\\new"), root + "/drive_c/Cached/new");

  // A folder made in the call is found in its own spelling.
  ASSERT_TRUE(platform::CreateDirectoryW(u"C:\\Cached\\New", nullptr));
  EXPECT_EQ(HostPath(u"C:\\CACHED\\NEW\\x"), root + "/drive_c/Cached/New/x");

  // A folder removed in the call no longer gives its spelling.
  ASSERT_TRUE(platform::RemoveDirectoryW(u"C:\\Cached\\Old Name"));
  ASSERT_TRUE(platform::CreateDirectoryW(u"C:\\Cached\\OLD name", nullptr));
  EXPECT_EQ(HostPath(u"C:\\cached\\old NAME\\a.txt"), root + "/drive_c/Cached/OLD name/a.txt");

  // Nor does a file moved away: its new spelling is found.
  ASSERT_TRUE(platform::WriteWholeFile(u"C:\\Cached\\File.TXT", "x", 1));
  EXPECT_EQ(HostPath(u"C:\\Cached\\file.txt"), root + "/drive_c/Cached/File.TXT");
  ASSERT_TRUE(platform::MoveFileExW(u"C:\\Cached\\File.TXT", u"C:\\Cached\\elsewhere", 0));
  ASSERT_TRUE(platform::WriteWholeFile(u"C:\\Cached\\FILE.txt", "y", 1));
  EXPECT_EQ(HostPath(u"C:\\Cached\\file.txt"), root + "/drive_c/Cached/FILE.txt");
  ASSERT_TRUE(platform::DeleteFileW(u"C:\\Cached\\FILE.txt"));
  ASSERT_TRUE(platform::WriteWholeFile(u"C:\\Cached\\file.Txt", "z", 1));
  EXPECT_EQ(HostPath(u"C:\\Cached\\FILE.TXT"), root + "/drive_c/Cached/file.Txt");
  RemoveTree(u"C:\\Cached");
}

TEST_F(Files, DotFilesAreHiddenAndUnwritableFilesReadOnly) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u".hidden"), "x"));
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"locked.txt"), "x"));
  ASSERT_EQ(chmod(platform::image::HostPath(Path(u"locked.txt").c_str()).c_str(), 0444), 0);
  auto entries = List(folder_ + u"\\*.*");
  EXPECT_NE(entries[u".hidden"] & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(entries[u"locked.txt"] & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(entries[u"locked.txt"] & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(platform::DeleteFileW(Path(u"locked.txt").c_str()), FALSE) << "read-only files are kept";
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  chmod(platform::image::HostPath(Path(u"locked.txt").c_str()).c_str(), 0644);
}

TEST_F(Files, DeleteInAReadOnlyFolderIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root may delete in read-only folders";
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"Locked\\file.txt"), "x"));
  std::string host = platform::image::HostPath(Path(u"Locked").c_str());
  ASSERT_EQ(chmod(host.c_str(), 0555), 0);
  EXPECT_EQ(platform::DeleteFileW(Path(u"Locked\\file.txt").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  chmod(host.c_str(), 0755);
}

TEST_F(Files, InjectedFaultsFailTheChosenOperationOnly) {
  ASSERT_TRUE(testsys::WriteFileBytes(Path(u"a.txt"), "x"));
  platform::image::ResetOperationCount();
  platform::image::FailOperationAt(2);
  EXPECT_EQ(platform::CopyFileW(Path(u"a.txt").c_str(), Path(u"b.txt").c_str(), FALSE), TRUE);
  EXPECT_EQ(platform::DeleteFileW(Path(u"a.txt").c_str()), FALSE);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(testsys::FileExists(Path(u"a.txt"))) << "the failed call changed nothing";
  EXPECT_EQ(platform::DeleteFileW(Path(u"a.txt").c_str()), TRUE) << "only one call fails";
  EXPECT_EQ(platform::image::OperationsSoFar(), 3);
}


// The image is a Linux folder and drive Z: is the host's "/": an image can
// name host files through Z:, a shell-folder value or a link. Reading may
// follow any drive; nothing that changes a file may act outside the image.
TEST_F(Files, NothingThatChangesAFileActsOutsideTheImage) {
  char outsideFolder[] = "/tmp/rv-outside-XXXXXX";
  ASSERT_NE(mkdtemp(outsideFolder), nullptr);
  const std::string outside = outsideFolder;
  const std::string victim = outside + "/victim.txt";
  {
    FILE* f = std::fopen(victim.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("victim", f);
    std::fclose(f);
  }
  mkdir((outside + "/emptyfolder").c_str(), 0755);
  // A folder of the image that is a link out of it, as Wine's Desktop is.
  const std::string linkHost = platform::image::HostPath(folder_.c_str()) + "/Desktop";
  ASSERT_EQ(symlink(outside.c_str(), linkHost.c_str()), 0);
  std::u16string z = u"Z:";
  for (char c : outside) z += c == '/' ? u'\\' : char16_t(c);
  const std::u16string inImage = Path(u"inside.txt");
  ASSERT_TRUE(testsys::WriteFileBytes(inImage, "inside"));
  // A file of the image that is a link to the host file.
  ASSERT_EQ(symlink(victim.c_str(), (platform::image::HostPath(folder_.c_str()) + "/linked.txt").c_str()), 0);
  auto opens = [](const std::u16string& path, DWORD creation) {
    HANDLE h = platform::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, creation, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    platform::CloseHandle(h);
    return TRUE;
  };

  struct Row {
    const char* what;
    std::function<BOOL()> change;
  };
  const Row rows[] = {
      {"delete through Z:", [&] { return platform::DeleteFileW((z + u"\\victim.txt").c_str()); }},
      {"delete through a link", [&] { return platform::DeleteFileW(Path(u"Desktop\\victim.txt").c_str()); }},
      {"copy onto a Z: file",
       [&] { return platform::CopyFileW(inImage.c_str(), (z + u"\\victim.txt").c_str(), FALSE); }},
      {"copy into a linked folder",
       [&] { return platform::CopyFileW(inImage.c_str(), Path(u"Desktop\\new.txt").c_str(), FALSE); }},
      {"make a folder through Z:",
       [&] { return platform::CreateDirectoryW((z + u"\\made").c_str(), nullptr); }},
      {"remove a folder through a link",
       [&] { return platform::RemoveDirectoryW(Path(u"Desktop\\emptyfolder").c_str()); }},
      {"open a Z: file for writing", [&] { return opens(z + u"\\victim.txt", OPEN_EXISTING); }},
      {"truncate a Z: file", [&] { return opens(z + u"\\victim.txt", CREATE_ALWAYS); }},
      {"write through a link in the image", [&] { return opens(Path(u"linked.txt"), OPEN_EXISTING); }},
      {"truncate through a link in the image", [&] { return opens(Path(u"linked.txt"), CREATE_ALWAYS); }},
      {"move a Z: file into the image",
       [&] { return platform::MoveFileExW((z + u"\\victim.txt").c_str(), Path(u"taken.txt").c_str(), 0); }},
      {"move an image file over a Z: file",
       [&] {
         return platform::MoveFileExW(inImage.c_str(), (z + u"\\victim.txt").c_str(),
                                      MOVEFILE_REPLACE_EXISTING);
       }},
  };
  for (const Row& row : rows) {
    platform::SetLastError(0);
    EXPECT_FALSE(row.change()) << row.what;
    EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << row.what;
  }
  struct stat st;
  EXPECT_EQ(stat(victim.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 6);
  EXPECT_EQ(testsys::ReadHostFile(victim), "victim");
  EXPECT_TRUE(testsys::FileExists(inImage));
  EXPECT_NE(stat((outside + "/new.txt").c_str(), &st), 0);
  EXPECT_NE(stat((outside + "/made").c_str(), &st), 0);
  EXPECT_EQ(stat((outside + "/emptyfolder").c_str(), &st), 0);
  // Reading through Z: still works, and so does copying out of it into the image.
  EXPECT_TRUE(platform::CopyFileW((z + u"\\victim.txt").c_str(), Path(u"copied.txt").c_str(), FALSE));
  // The link itself lies in the image and may be deleted as a link.
  EXPECT_TRUE(platform::DeleteFileW(Path(u"Desktop").c_str()));
  EXPECT_EQ(stat(victim.c_str(), &st), 0);
  unlink(victim.c_str());
  rmdir((outside + "/emptyfolder").c_str());
  rmdir(outside.c_str());
}

// The host names its response file, which may lie anywhere: outside the
// image the module creates new files only, and renames or deletes only a
// file it made itself, in that file's own folder.
TEST_F(Files, TheHostsOutputFileIsWrittenOutsideTheImageAndNothingElse) {
  char outsideFolder[] = "/tmp/rv-output-XXXXXX";
  ASSERT_NE(mkdtemp(outsideFolder), nullptr);
  const std::string outside = outsideFolder;
  std::u16string z = u"Z:";
  for (char c : outside) z += c == '/' ? u'\\' : char16_t(c);
  const std::u16string response = z + u"\\response.xml";
  ASSERT_TRUE(platform::ReplaceWholeFile(response.c_str(), "first", 5));
  ASSERT_TRUE(platform::ReplaceWholeFile(response.c_str(), "second", 6)) << "an existing response is replaced";
  EXPECT_EQ(testsys::ReadHostFile(outside + "/response.xml"), "second");
  // The replaced file is the host's now: the module may not delete it, nor
  // rename it elsewhere.
  EXPECT_FALSE(platform::DeleteFileW(response.c_str()));
  EXPECT_FALSE(platform::MoveFileExW(response.c_str(), Path(u"taken.xml").c_str(), 0));
  // A new file made outside may be removed again by the module, and only
  // renamed within its folder.
  const std::u16string made = z + u"\\made.tmp";
  HANDLE h = platform::CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  platform::CloseHandle(h);
  EXPECT_FALSE(platform::MoveFileExW(made.c_str(), Path(u"made.tmp").c_str(), 0)) << "into another folder";
  EXPECT_TRUE(platform::DeleteFileW(made.c_str()));
  // CREATE_NEW never opens what is there already.
  h = platform::CreateFileW(response.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(testsys::ReadHostFile(outside + "/response.xml"), "second");
  DIR* dir = opendir(outside.c_str());
  ASSERT_NE(dir, nullptr);
  std::vector<std::string> left;
  while (struct dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') left.push_back(entry->d_name);
  closedir(dir);
  EXPECT_EQ(left, std::vector<std::string>{"response.xml"}) << "no temporary file left behind";
  unlink((outside + "/response.xml").c_str());
  rmdir(outside.c_str());
}

#endif  // _WIN32

}  // namespace
