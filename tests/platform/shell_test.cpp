// Shell folders, environment expansion, the Windows directory, the file
// search, the module's own name and case-insensitive comparison.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include <cstring>
#include <string>

#include "platform/case_fold.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

#ifndef _WIN32
#include "platform/linux/system_image.h"
#endif

namespace {

const char16_t kUserShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
  return platform::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

bool EndsWithNoCase(const std::u16string& text, const std::u16string& tail) {
  return text.size() >= tail.size() && EqualNoCase(text.substr(text.size() - tail.size()), tail);
}

std::u16string Folder(int csidl, BOOL* ok = nullptr, BOOL create = FALSE) {
  char16_t path[MAX_PATH];
  std::memset(path, 0x55, sizeof path);
  BOOL result = platform::SHGetSpecialFolderPathW(nullptr, path, csidl, create);
  if (ok != nullptr) *ok = result;
  return path;
}

std::u16string Expand(const char16_t* text) {
  char16_t out[MAX_PATH] = {};
  platform::ExpandEnvironmentStringsW(text, out, MAX_PATH);
  return out;
}

class Shell : public ::testing::Test {
 protected:
  testsys::CleanSystem system_;
};

TEST_F(Shell, StartupFoldersExistWithoutTrailingBackslash) {
  for (int csidl : {CSIDL_STARTUP, CSIDL_COMMON_STARTUP}) {
    BOOL ok = FALSE;
    std::u16string path = Folder(csidl, &ok);
    EXPECT_TRUE(ok) << "folder id " << csidl;
    EXPECT_TRUE(EndsWithNoCase(path, u"\\Start Menu\\Programs\\StartUp")) << testing::PrintToString(path);
    EXPECT_NE(path.back(), u'\\');
    EXPECT_TRUE(testsys::FileExists(path));
  }
  EXPECT_FALSE(EqualNoCase(Folder(CSIDL_STARTUP), Folder(CSIDL_COMMON_STARTUP)));
}

TEST_F(Shell, ExpansionReplacesKnownNamesIgnoringCase) {
  char16_t windows[MAX_PATH] = {};
  ASSERT_GT(platform::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  EXPECT_TRUE(EqualNoCase(windows, u"C:\\windows"));
  EXPECT_TRUE(EqualNoCase(Expand(u"%SystemRoot%\\system32\\tool.exe"), u"C:\\windows\\system32\\tool.exe"));
  EXPECT_TRUE(EqualNoCase(Expand(u"%systemroot%"), windows));
  EXPECT_TRUE(EqualNoCase(Expand(u"%windir%"), windows));
  EXPECT_EQ(Expand(u"%NoSuchVariable_rv%\\x"), u"%NoSuchVariable_rv%\\x");
  EXPECT_EQ(Expand(u"100% sure"), u"100% sure");
  EXPECT_TRUE(EqualNoCase(Expand(u"%ProgramData%"), u"C:\\ProgramData"));
  EXPECT_EQ(Expand(u"%USERPROFILE%").substr(0, 9), u"C:\\users\\");

  char16_t out[8];
  std::memset(out, 0x55, sizeof out);
  const char16_t* text = u"%SystemRoot%\\x";
  DWORD needed = platform::ExpandEnvironmentStringsW(text, out, 4);
  EXPECT_EQ(needed, 13u) << "C:\\windows\\x and its terminator";
  for (size_t i = 4; i < 8; ++i) EXPECT_EQ(out[i], char16_t(0x5555)) << "unit " << i;
  EXPECT_EQ(platform::ExpandEnvironmentStringsW(u"plain", out, 8), 6u);
  EXPECT_EQ(std::u16string(out), u"plain");

  EXPECT_EQ(platform::GetWindowsDirectoryW(out, 4), 11u) << "too small: the size needed";
}

TEST_F(Shell, SearchLooksInTheSystemFoldersBeforeTheWindowsFolder) {
  const std::u16string system32 = u"C:\\windows\\system32\\rvprobe_search.exe";
  const std::u16string windows = u"C:\\windows\\rvprobe_search.exe";
  ASSERT_TRUE(testsys::WriteFileBytes(windows, "w"));
  char16_t found[MAX_PATH] = {};
  char16_t* part = nullptr;
  DWORD length = platform::SearchPathW(nullptr, u"rvprobe_search", u".exe", MAX_PATH, found, &part);
  EXPECT_EQ(length, windows.size());
  EXPECT_TRUE(EqualNoCase(found, windows));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::u16string(part), u"rvprobe_search.exe");

  ASSERT_TRUE(testsys::WriteFileBytes(system32, "s"));
  length = platform::SearchPathW(nullptr, u"rvprobe_search.exe", nullptr, MAX_PATH, found, nullptr);
  EXPECT_TRUE(EqualNoCase(found, system32));

  // A name with an extension of its own gets no default extension.
  EXPECT_EQ(platform::SearchPathW(nullptr, u"rvprobe_search.exe", u".dll", MAX_PATH, found, nullptr),
            system32.size());
  EXPECT_EQ(platform::SearchPathW(nullptr, u"rvprobe_search.e", u".exe", MAX_PATH, found, nullptr), 0u);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  char16_t small[8];
  std::memset(small, 0x55, sizeof small);
  EXPECT_EQ(platform::SearchPathW(nullptr, u"rvprobe_search.exe", nullptr, 8, small, nullptr),
            system32.size() + 1);
  for (char16_t c : small) EXPECT_EQ(c, char16_t(0x5555));

  platform::DeleteFileW(system32.c_str());
  platform::DeleteFileW(windows.c_str());
}

TEST_F(Shell, ModuleFileNameIsBounded) {
  char16_t name[MAX_PATH] = {};
  DWORD length = platform::GetModuleFileNameW(platform::ThisModule(), name, MAX_PATH);
  EXPECT_EQ(std::u16string(name), testsys::ModulePath());
  EXPECT_EQ(length, testsys::ModulePath().size());
  EXPECT_TRUE(EndsWithNoCase(name, u".dll") || EndsWithNoCase(name, u".exe"));

  char16_t small[8];
  std::memset(small, 0x55, sizeof small);
  EXPECT_EQ(platform::GetModuleFileNameW(platform::ThisModule(), small, 5), 5u);
  EXPECT_EQ(small[4], 0) << "cut and terminated";
  EXPECT_EQ(small[5], char16_t(0x5555));
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CaseFold, ComparesLettersOfEveryCoveredScriptIgnoringCase) {
  struct Pair {
    const char16_t* a;
    const char16_t* b;
  } same[] = {
      {u"OrloOsInstall", u"orloosinstall"},
      {u"\u00C4\u00D6\u00DC\u00C9", u"\u00E4\u00F6\u00FC\u00E9"},            // Latin-1
      {u"\u0100\u0139\u017D\u0178", u"\u0101\u013A\u017E\u00FF"},            // Latin Extended-A
      {u"\u0391\u03A3\u03A9\u0386", u"\u03B1\u03C3\u03C9\u03AC"},            // Greek
      {u"\u0410\u042F\u0401\u0460", u"\u0430\u044F\u0451\u0461"},            // Cyrillic
      {u"\uFF21\uFF3A", u"\uFF41\uFF5A"},                                    // fullwidth Latin
  };
  for (const Pair& p : same) {
    EXPECT_EQ(platform::lstrcmpiW(p.a, p.b), 0) << testing::PrintToString(std::u16string(p.a));
    for (size_t i = 0; p.a[i] != 0; ++i)
      EXPECT_EQ(platform::FoldCaseForCompare(p.a[i]), platform::FoldCaseForCompare(p.b[i]));
  }
  EXPECT_NE(platform::lstrcmpiW(u"abc", u"abd"), 0);
  EXPECT_NE(platform::lstrcmpiW(u"abc", u"ab"), 0);
  EXPECT_LT(platform::lstrcmpiW(u"Apple", u"banana"), 0);
  EXPECT_EQ(platform::FoldCaseForCompare(u'1'), u'1');
  EXPECT_EQ(platform::FoldCaseForCompare(u'\u4E2D'), u'\u4E2D');
}

#ifndef _WIN32

// Two names are one for this backend exactly when they are one for Wine,
// whose server compares registry names through the lower-case table of its
// nls/l_intl.nls: every unit is checked against the table Wine ships.
TEST(CaseFold, AgreesWithWinesTableOnEveryUnit) {
  const char* path = "/usr/share/wine/nls/l_intl.nls";
  std::ifstream in(path, std::ios::binary);
  if (!in) GTEST_SKIP() << path << " is not installed (Wine's data files)";
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint16_t> words(bytes.size() / 2);
  for (size_t i = 0; i < words.size(); ++i) words[i] = uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  // A header, the upper-case table, the lower-case table; each table's
  // length word counts itself.
  ASSERT_GT(words.size(), 2u);
  const size_t lowerAt = size_t(words[0]) + words[words[0]];
  ASSERT_LT(lowerAt, words.size());
  const size_t lowerEnd = lowerAt + words[lowerAt];
  ASSERT_LE(lowerEnd, words.size());
  const std::vector<uint16_t> t(words.begin() + lowerAt + 1, words.begin() + lowerEnd);
  auto wine = [&](unsigned c) {
    return uint16_t(c + t.at(t.at(t.at(c >> 8) + ((c >> 4) & 15)) + (c & 15)));
  };
  int differences = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    const unsigned ours = platform::FoldCaseForCompare(char16_t(c));
    if (ours != wine(c) && ++differences <= 10)
      ADD_FAILURE() << std::hex << "U+" << c << ": expected U+" << wine(c) << ", got U+" << ours;
  }
  EXPECT_EQ(differences, 0);
  // As Wine: dotless i is no I, Georgian folds.
  EXPECT_NE(platform::lstrcmpiW(u"\u0131tem", u"Item"), 0);
  EXPECT_EQ(platform::lstrcmpiW(u"\u1C90", u"\u10D0"), 0);
}

// The image's registry decides where the shell folders are.
TEST_F(Shell, FoldersFollowTheRegistryAndFallBackToWinesDefaults) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kUserShellFolders, u"StartUp",
                                    u"%USERPROFILE%\\Elsewhere", REG_EXPAND_SZ));
  BOOL ok = TRUE;
  std::u16string moved = Folder(CSIDL_STARTUP, &ok);
  EXPECT_TRUE(EndsWithNoCase(moved, u"\\Elsewhere"));
  EXPECT_EQ(moved.substr(0, 9), u"C:\\users\\");
  EXPECT_FALSE(ok) << "the folder does not exist";
  EXPECT_FALSE(testsys::FileExists(moved)) << "create = FALSE never creates";
  Folder(CSIDL_STARTUP, &ok, TRUE);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(testsys::FileExists(moved));

  // Without either value: Wine's default under the image's user.
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kUserShellFolders, u"StartUp"), ERROR_SUCCESS);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kShellFolders, u"StartUp"), ERROR_SUCCESS);
  ASSERT_TRUE(testsys::DeleteRegKey(HKEY_CURRENT_USER, u"Volatile Environment"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, u"Volatile Environment", u"USERNAME", u"someone"));
  EXPECT_EQ(Folder(CSIDL_STARTUP),
            u"C:\\users\\someone\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  EXPECT_EQ(platform::SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"),
            ERROR_SUCCESS);
  EXPECT_EQ(Folder(CSIDL_COMMON_STARTUP),
            u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");

  ok = TRUE;
  std::u16string unknown = Folder(0x7F, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(unknown, u"") << "an unknown folder gives an empty text";
}

TEST_F(Shell, EnvironmentComesFromTheImagesRegistry) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE,
                                    u"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                    u"RV_Machine", u"%SystemDrive%\\m", REG_EXPAND_SZ));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, u"Environment", u"RV_User", u"u-value"));
  EXPECT_EQ(Expand(u"%rv_machine%|%RV_USER%"), u"C:\\m|u-value");
  EXPECT_EQ(Expand(u"%Unknown%RV_User%"), u"%Unknownu-value") << "an unknown name's closing % may open the next";
}

TEST_F(Shell, SearchTriesTheModulesFolderFirstAndPathLast) {
  ASSERT_TRUE(testsys::WriteFileBytes(u"C:\\windows\\system32\\rvprobe.exe", "s"));
  ASSERT_TRUE(testsys::WriteFileBytes(testsys::ModuleFolder() + u"rvprobe.exe", "m"));
  char16_t found[MAX_PATH] = {};
  ASSERT_GT(platform::SearchPathW(nullptr, u"rvprobe.exe", nullptr, MAX_PATH, found, nullptr), 0u);
  EXPECT_TRUE(EqualNoCase(found, testsys::ModuleFolder() + u"rvprobe.exe"));

  ASSERT_TRUE(testsys::WriteFileBytes(u"C:\\Tools\\onlyonpath.exe", "p"));
  EXPECT_EQ(platform::SearchPathW(nullptr, u"onlyonpath.exe", nullptr, MAX_PATH, found, nullptr), 0u);
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, u"Environment", u"PATH", u"C:\\Tools"));
  ASSERT_GT(platform::SearchPathW(nullptr, u"onlyonpath", u".exe", MAX_PATH, found, nullptr), 0u);
  EXPECT_EQ(std::u16string(found), u"C:\\Tools\\onlyonpath.exe");
}

TEST_F(Shell, ModuleFileNameWithoutOverrideIsTheProgramInZ) {
  platform::SetModuleFileNameForTesting(nullptr);
  char16_t name[MAX_PATH] = {};
  ASSERT_GT(platform::GetModuleFileNameW(platform::ThisModule(), name, MAX_PATH), 0u);
  EXPECT_EQ(std::u16string(name).substr(0, 3), u"Z:\\");
  EXPECT_NE(platform::image::HostPath(name), "");
  platform::SetModuleFileNameForTesting(u"C:\\runvane\\runvane.dll");
}

#endif  // _WIN32

}  // namespace
