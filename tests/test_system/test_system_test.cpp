// What every behaviour test relies on, checked on both backends: a clean
// system really is clean, the module answers from C:\runvane, the file
// helpers and the platform layer see the same files, and text compares
// without regard to case as the system does.
#include <gtest/gtest.h>

#include <string>

#include "platform/case_fold.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"
#include "tests/support/test_system.h"

namespace {

const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRunOnce[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char16_t kRunDisabled[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\TidyraDisable";
const char16_t kStartupReg[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

std::string Utf8(const std::u16string& text) { return wtext::ToUtf8(text); }

// Number of values of a key; -1 when it cannot be opened.
int ValueCount(HKEY root, const char16_t* path) {
  platform::ScopedKey key;
  if (platform::RegOpenKeyExW(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return -1;
  int count = 0;
  for (DWORD index = 0;; ++index) {
    char16_t name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    BYTE data[1024];
    DWORD dataLength = sizeof(data);
    DWORD type = 0;
    LONG result = platform::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type,
                                          data, &dataLength);
    if (result == ERROR_NO_MORE_ITEMS) break;
    ++count;
    if (index > 10000) break;
  }
  return count;
}

bool KeyExists(HKEY root, const char16_t* path) {
  platform::ScopedKey key;
  return platform::RegOpenKeyExW(root, path, 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

std::u16string StartupFolder(int csidl) {
  char16_t folder[MAX_PATH] = {};
  if (!platform::SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) return std::u16string();
  return folder;
}

TEST(CleanSystemTest, EmptiesEveryKeyAndFolderTheModuleUses) {
  std::u16string userStartup, commonStartup;
  {
    testsys::CleanSystem first;
    ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, kRun, u"left", u"C:\\left.exe"));
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunOnce, u"left", u"C:\\left.exe"));
    ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kRunDisabled, u"off", u"rem C:\\o.exe"));
    ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, std::u16string(kStartupReg) + u"\\item",
                                      u"command", u"C:\\m.exe"));
    userStartup = StartupFolder(CSIDL_STARTUP);
    commonStartup = StartupFolder(CSIDL_COMMON_STARTUP);
    ASSERT_FALSE(userStartup.empty());
    ASSERT_FALSE(commonStartup.empty());
    ASSERT_TRUE(testsys::WriteFileBytes(userStartup + u"\\left.lnk", "x"));
    ASSERT_TRUE(testsys::WriteFileBytes(commonStartup + u"\\left.lnk", "x"));
    ASSERT_TRUE(testsys::WriteFileBytes(testsys::ModuleFolder() + u"TidyraDisableFile\\f.lnk", "x"));
    ASSERT_TRUE(testsys::WriteFileBytes(testsys::ScratchFolder() + u"\\left.bin", "x"));
  }
  testsys::CleanSystem second;
  EXPECT_LE(ValueCount(HKEY_LOCAL_MACHINE, kRun), 0);
  EXPECT_LE(ValueCount(HKEY_CURRENT_USER, kRunOnce), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunDisabled));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kStartupReg));
  EXPECT_FALSE(testsys::FileExists(StartupFolder(CSIDL_STARTUP) + u"\\left.lnk"));
  EXPECT_FALSE(testsys::FileExists(StartupFolder(CSIDL_COMMON_STARTUP) + u"\\left.lnk"));
  EXPECT_FALSE(testsys::FileExists(testsys::ModuleFolder() + u"TidyraDisableFile\\f.lnk"));
  EXPECT_FALSE(testsys::FileExists(testsys::ScratchFolder() + u"\\left.bin"));
}

TEST(CleanSystemTest, ModuleAnswersFromItsTestFolder) {
  testsys::CleanSystem system;
  EXPECT_EQ(Utf8(testsys::ModulePath()), "C:\\runvane\\runvane.dll");
  EXPECT_EQ(Utf8(testsys::ModuleFolder()), "C:\\runvane\\");

  // A buffer too small: cut and terminated, its whole size returned, as the
  // system does.
  char16_t small[6];
  for (char16_t& c : small) c = u'#';
  DWORD length = platform::GetModuleFileNameW(platform::ThisModule(), small, 5);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(small[4], 0);
  EXPECT_EQ(Utf8(small), "C:\\r");
  EXPECT_EQ(small[5], u'#') << "written past the buffer";
}

TEST(FileHelpersTest, WhatTheHelpersWriteThePlatformLayerReads) {
  testsys::CleanSystem system;
  const std::u16string folder = testsys::ScratchFolder() + u"\\deep\\er";
  const std::string bytes("MZ\0\x01\xff data", 11);
  ASSERT_TRUE(testsys::WriteFileBytes(folder + u"\\probe.bin", bytes));
  ASSERT_TRUE(testsys::MakeFolders(folder + u"\\sub"));
  EXPECT_TRUE(testsys::MakeFolders(folder + u"\\sub")) << "an existing folder is fine";

  std::string back;
  ASSERT_TRUE(testsys::ReadFileBytes(folder + u"\\probe.bin", &back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(testsys::ReadFileBytes(folder + u"\\missing.bin", &back));

  platform::ScopedFile file(platform::CreateFileW((folder + u"\\probe.bin").c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid());
  EXPECT_EQ(platform::GetFileSize(file.get(), nullptr), bytes.size());

  bool sawFile = false, sawFolder = false;
  platform::FindDataW found{};
  platform::ScopedFind find(platform::FindFirstFileW((folder + u"\\*.*").c_str(), &found));
  ASSERT_TRUE(find.valid());
  do {
    std::string name = Utf8(found.cFileName);
    if (name == "probe.bin") sawFile = !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (name == "sub") sawFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  } while (platform::FindNextFileW(find.get(), &found));
  EXPECT_TRUE(sawFile);
  EXPECT_TRUE(sawFolder);
}

TEST(FileHelpersTest, SourceTreeFilesAreReachable) {
  testsys::CleanSystem system;
  std::string text;
  ASSERT_TRUE(testsys::ReadFileBytes(testsys::SourceTreePath("data/RunLib.xml"), &text))
      << Utf8(testsys::SourceTreePath("data/RunLib.xml"));
  EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
}

TEST(CaseTest, ComparisonIgnoresCaseBeyondAscii) {
  EXPECT_EQ(platform::lstrcmpiW(u"Run\\ABC.exe", u"run\\abc.EXE"), 0);
  EXPECT_LT(platform::lstrcmpiW(u"a", u"B"), 0);
  EXPECT_GT(platform::lstrcmpiW(u"b", u"A"), 0);
  // Each backend folds as its system's registry does (Windows to upper
  // case, Wine to lower case): only the pairing is the same everywhere.
  EXPECT_EQ(platform::FoldCaseForCompare(u'q'), platform::FoldCaseForCompare(u'Q'));
  EXPECT_EQ(platform::FoldCaseForCompare(u'\u00E4'), platform::FoldCaseForCompare(u'\u00C4'));  // a umlaut
  EXPECT_EQ(platform::FoldCaseForCompare(u'\u0434'), platform::FoldCaseForCompare(u'\u0414'));  // Cyrillic de
  EXPECT_NE(platform::FoldCaseForCompare(u'q'), platform::FoldCaseForCompare(u'R'));
  EXPECT_EQ(platform::FoldCaseForCompare(u'\u5B89'), u'\u5B89');  // no case
  EXPECT_EQ(platform::CompareFolded(u"Stra\u00DFe", u"STRA\u00DFE"), 0);
  EXPECT_NE(platform::CompareFolded(u"abc", u"abd"), 0);
}

}  // namespace
