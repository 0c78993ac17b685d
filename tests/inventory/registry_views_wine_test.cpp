// A 64-bit Wine prefix as the peer: values written by Wine's own reg tool
// into the 64-bit and the 32-bit view (the same names in both among them)
// are all listed by the Linux build, each under the key of its view; a
// disable and an enable by the Linux build are seen by Wine in that view
// only, and repair of a node deletes from the view its data matches.
//
// The Windows build is not run against this prefix here: only a 32-bit
// module meets WOW64 redirection, and this machine cannot run 32-bit
// programs. The 64-bit Windows build sees the literal keys as this build
// does (registry_views_test.cpp runs under 64-bit Wine).
#ifndef _WIN32

#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "inventory/repair.h"
#include "inventory/scan_driver.h"
#include "platform/linux/system_image.h"
#include "platform/wtext.h"
#include "remote/registry_item_ops.h"
#include "tests/support/wine_prefix.h"

namespace {


int32_t __cdecl Quiet(const char16_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                      int32_t, int32_t) {
  return 0;
}

class Win64Prefix : public testsys::WinePrefix {
 public:
  Win64Prefix() : testsys::WinePrefix("win64", "rv-views-prefix") {}
  // wine reg, then wait until the server has saved and exited.
  int Reg(const std::string& arguments) const {
    int result = Run(Wine() + " reg " + arguments);
    Run("wineserver -w");
    return result;
  }
  std::string Query(const std::string& key, const std::string& name, const char* view) const {
    std::string out = Output(Wine() + " reg query '" + key + "' /v " + name + " " + view);
    Run("wineserver -w");
    return out;
  }
  static std::string Wine() {
    return testsys::FromEnvironment("RUNVANE_WINE64", testsys::FromEnvironment("RUNVANE_WINE", "wine").c_str());
  }
};

const char kRunText[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t kWowRun[] = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(RegistryViewsWine, LinuxBuildListsAndChangesBothViewsOfAWin64Prefix) {
  // Only the 64-bit loader makes a win64 prefix; RUNVANE_WINE64 names it
  // where tools/wine-env.sh found one.
  if (testsys::FromEnvironment("RUNVANE_WINEARCH", "") != "win64" &&
      testsys::FromEnvironment("RUNVANE_WINE64", "").empty())
    GTEST_SKIP() << "no 64-bit Wine chosen (run through tools/wine-env.sh with wine64 installed)";
  if (std::system((Win64Prefix::Wine() + " --version >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "`" << Win64Prefix::Wine() << "` does not start here";
  Win64Prefix prefix;
  ASSERT_FALSE(prefix.root().empty());
  ASSERT_EQ(0, prefix.Run(Win64Prefix::Wine() + " wineboot -i"));
  prefix.Run("wineserver -w");

  const std::string run = std::string("'") + kRunText + "'";
  ASSERT_EQ(0, prefix.Reg("add " + run + " /v RvSame /d 'C:\\native.exe' /f /reg:64"));
  ASSERT_EQ(0, prefix.Reg("add " + run + " /v RvSame /d 'C:\\wow.exe' /f /reg:32"));
  ASSERT_EQ(0, prefix.Reg("add " + run + " /v RvOnly64 /d 'C:\\only64.exe' /f /reg:64"));
  ASSERT_EQ(0, prefix.Reg("add " + run + " /v RvOnly32 /d 'C:\\only32.exe' /f /reg:32"));
  ASSERT_EQ(0, prefix.Reg("add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies"
                          "\\Explorer\\Run' /v RvPolicy /d 'C:\\policy.exe' /f /reg:64"));

  platform::image::SetRoot(prefix.root());
  std::vector<std::u16string> listed;
  {
    ScanContext context(Quiet, nullptr, 0);
    ScanAutoRunItems(context);
    for (int i = 0; i < context.inventory.GetSize(); ++i) {
      const _RunData& item = context.inventory[i];
      if (std::u16string(item.name).compare(0, 2, u"Rv") != 0) continue;
      listed.push_back(std::u16string(item.subkey) + u"|" + item.name + u"=" + item.cmdline);
    }
  }
  std::sort(listed.begin(), listed.end());
  const std::u16string native = std::u16string(kRun) + u"|";
  const std::u16string wow = std::u16string(kWowRun) + u"|";
  std::vector<std::u16string> expected = {
      native + u"RvSame=C:\\native.exe",
      native + u"RvOnly64=C:\\only64.exe",
      wow + u"RvSame=C:\\wow.exe",
      wow + u"RvOnly32=C:\\only32.exe",
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run|RvPolicy=C:\\policy.exe",
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, listed);

  // Disable in the 32-bit view: Wine sees it there, the 64-bit view keeps
  // its value of the same name.
  CommandItem item{};
  wtext::Copy(item.name, u"RvSame");
  wtext::Copy(item.mainkey, u"HKEY_LOCAL_MACHINE");
  wtext::Copy(item.subkey, kWowRun);
  ASSERT_EQ(0, DisableRegistryItem(item));
  const std::string disabledText = std::string(kRunText) + "\\TidyraDisable";
  EXPECT_NE(std::string::npos,
            prefix.Query(disabledText, "RvSame", "/reg:32").find("rem C:\\wow.exe"));
  EXPECT_EQ(std::string::npos, prefix.Query(kRunText, "RvSame", "/reg:32").find("wow.exe"));
  EXPECT_NE(std::string::npos, prefix.Query(kRunText, "RvSame", "/reg:64").find("C:\\native.exe"));
  EXPECT_EQ(std::string::npos, prefix.Query(disabledText, "RvSame", "/reg:64").find("rem"));

  ASSERT_EQ(0, EnableRegistryItem(item));
  EXPECT_NE(std::string::npos, prefix.Query(kRunText, "RvSame", "/reg:32").find("C:\\wow.exe"));

  // Repair of a node whose data is the 32-bit view's deletes only there.
  CheckNode node{};
  wtext::Copy(node.name, u"RvSame");
  wtext::Copy(node.cmdline, u"C:\\wow.exe");
  node.selected = 1;
  {
    ScanContext context(Quiet, nullptr, 0);
    RepairCheckList(&node, context, kRepairSelected);
  }
  EXPECT_EQ(0, node.failed);
  EXPECT_EQ(std::string::npos, prefix.Query(kRunText, "RvSame", "/reg:32").find("wow.exe"));
  EXPECT_NE(std::string::npos, prefix.Query(kRunText, "RvSame", "/reg:64").find("C:\\native.exe"));
  platform::image::SetRoot(std::string());
}

}  // namespace

#endif  // _WIN32
