// Wine itself as the peer of the Linux backend: Wine accepts an image this
// backend made, each side reads what the other wrote, what the backend did
// not touch keeps Wine's bytes, and a running Wine server blocks writes.
#ifndef _WIN32

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/handles.h"
#include "platform/linux/registry_file.h"
#include "platform/linux/system_image.h"
#include "platform/platform.h"
#include "tests/support/wine_prefix.h"

namespace {

std::string ReadHost(const std::string& path) { return testsys::ReadHostFile(path); }

bool OnPath(const std::string& program) {
  std::string command = "command -v " + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// How Wine is started here, as tools/wine-env.sh chose it: RUNVANE_WINE is
// the loader command (Debian's `wine` picks the 32-bit loader, which some
// machines cannot execute) and RUNVANE_WINEARCH the prefix kind it needs.
std::string WineCommand() { return testsys::FromEnvironment("RUNVANE_WINE", "wine"); }
std::string WineArch() { return testsys::FromEnvironment("RUNVANE_WINEARCH", "win32"); }

// The backend makes images of a 32-bit prefix; 64-bit Wine opens only a
// prefix whose registry files say win64, and the files differ in nothing
// else until Wine first boots the prefix.
void MarkImageWin64(const std::string& root) {
  for (const char* hive : {"/system.reg", "/user.reg"}) {
    std::string text = ReadHost(root + hive);
    const size_t at = text.find("\n#arch=win32\n");
    ASSERT_NE(at, std::string::npos) << hive;
    text.replace(at, 13, "\n#arch=win64\n");
    std::ofstream(root + hive, std::ios::binary | std::ios::trunc) << text;
  }
}

// A throw-away prefix of the kind the chosen Wine needs.
class WinePrefix : public testsys::WinePrefix {
 public:
  WinePrefix() : testsys::WinePrefix(WineArch(), "rv-wineprefix") {}
};

LONG SetText(HKEY root, const char16_t* key, const char16_t* name, const std::u16string& text) {
  platform::ScopedKey handle;
  LONG r = platform::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.receive(), nullptr);
  if (r != ERROR_SUCCESS) return r;
  return platform::RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  DWORD((text.size() + 1) * 2));
}

std::u16string Query(HKEY root, const char16_t* key, const char16_t* name) {
  platform::ScopedKey handle;
  char16_t text[128] = {};
  DWORD size = sizeof text - 2;
  if (platform::RegOpenKeyExW(root, key, 0, KEY_READ, handle.receive()) != ERROR_SUCCESS) return u"<no key>";
  if (platform::RegQueryValueExW(handle.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
      ERROR_SUCCESS)
    return u"<no value>";
  return text;
}

// Every "[...]" section of before, except those naming changedKey, appears
// unchanged in after.
void ExpectUntouchedSectionsKept(const std::string& before, const std::string& after, const std::string& changedKey) {
  size_t kept = 0;
  for (size_t start = before.find("\n["); start != std::string::npos;) {
    size_t end = before.find("\n[", start + 1);
    std::string section = before.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end;
    if (section.compare(1, changedKey.size() + 2, "[" + changedKey + "]") == 0) continue;
    if (after.find(section) == std::string::npos) {
      ADD_FAILURE() << "section changed or lost:" << section.substr(0, 200);
      return;
    }
    ++kept;
  }
  EXPECT_GT(kept, 10u);
}

TEST(WineInterop, WineAndTheBackendShareOneImage) {
  const std::string wine = WineCommand();
  if (!OnPath(wine) || !OnPath("wineserver"))
    GTEST_SKIP() << "Wine is not installed (" << wine << " and wineserver must be on PATH)";
  ASSERT_EQ(std::system((wine + " --version >/dev/null 2>&1").c_str()), 0)
      << "`" << wine << "` does not start here; tools/wine-env.sh exports the command that does as RUNVANE_WINE";
  WinePrefix prefix;
  ASSERT_FALSE(prefix.root().empty());
  const std::string root = prefix.root();
  const char16_t kKey[] = u"Software\\RunvaneInterop";
  const std::string kKeyText = "HKCU\\Software\\RunvaneInterop";

  // 1. An image made by the backend, with a value, is one Wine accepts.
  ASSERT_TRUE(platform::image::CreateImage(root));
  if (WineArch() == "win64") {
    ASSERT_NO_FATAL_FAILURE(MarkImageWin64(root));
  }
  platform::image::SetRoot(root);
  ASSERT_EQ(SetText(HKEY_CURRENT_USER, kKey, u"FromLinux", u"linux-value"), ERROR_SUCCESS);
  prefix.Run(wine + " wineboot -i");
  prefix.Run("wineserver -w");
  std::string answer = prefix.Output(wine + " reg query '" + kKeyText + "' /v FromLinux");
  EXPECT_NE(answer.find("linux-value"), std::string::npos) << answer;
  prefix.Run("wineserver -w");

  // 2. What Wine writes, the backend reads (once Wine's server has saved
  //    and exited).
  ASSERT_EQ(prefix.Run(wine + " reg add '" + kKeyText + "' /v FromWine /d wine-value /f"), 0);
  prefix.Run("wineserver -w");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"FromWine"), u"wine-value");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"fromlinux"), u"linux-value");

  // 3. Every value of Wine's own files is written back in Wine's bytes.
  const std::string systemBefore = ReadHost(root + "/system.reg");
  const std::string userBefore = ReadHost(root + "/user.reg");
  for (const std::string* text : {&systemBefore, &userBefore}) {
    platform::regfile::File file;
    ASSERT_TRUE(file.Parse(*text));
    EXPECT_EQ(file.Serialize(), *text);
    size_t values = 0;
    size_t differ = 0;
    std::function<void(platform::regfile::Key*)> walk = [&](platform::regfile::Key* key) {
      for (const auto& value : key->values) {
        ++values;
        if (platform::regfile::DumpValue(value) != value.raw && ++differ <= 3)
          ADD_FAILURE() << "written differently: " << value.raw;
      }
      for (auto& child : key->children) walk(child.get());
    };
    walk(file.Root());
    EXPECT_GT(values, 100u);
    EXPECT_EQ(differ, 0u);
  }

  // 4. A change by the backend keeps every section it did not touch, byte
  //    for byte, and Wine reads the change.
  ASSERT_EQ(SetText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"RvProbe",
                    u"C:\\probe.exe"),
            ERROR_SUCCESS);
  ASSERT_EQ(SetText(HKEY_CURRENT_USER, kKey, u"Second", u"second-value"), ERROR_SUCCESS);
  ExpectUntouchedSectionsKept(systemBefore, ReadHost(root + "/system.reg"),
                              "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run");
  ExpectUntouchedSectionsKept(userBefore, ReadHost(root + "/user.reg"), "Software\\\\RunvaneInterop");
  answer = prefix.Output(wine + " reg query '" + kKeyText + "' /v Second");
  EXPECT_NE(answer.find("second-value"), std::string::npos) << answer;
  answer = prefix.Output(wine + " reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v RvProbe");
  EXPECT_NE(answer.find("C:\\probe.exe"), std::string::npos) << answer;

  // 5. While Wine's server runs, the backend refuses to write (Wine would
  //    overwrite the change when it saves) but still reads.
  prefix.Run("wineserver -w");
  ASSERT_EQ(prefix.Run("wineserver -p"), 0);
  EXPECT_NE(SetText(HKEY_CURRENT_USER, kKey, u"Blocked", u"x"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Second"), u"second-value");
  prefix.Run("wineserver -k");
  prefix.Run("wineserver -w");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Blocked"), u"<no value>");
  EXPECT_EQ(SetText(HKEY_CURRENT_USER, kKey, u"Unblocked", u"y"), ERROR_SUCCESS);
  platform::image::SetRoot(std::string());
}

}  // namespace

#endif  // _WIN32
