// The check-only edition: narrower fields, no version and no size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "enrich/file_facts.h"
#include "inventory/startup_folder_scanner.h"
#include "platform/wtext.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

static_assert(!rundata::kHasFileVersionAndSize, "built as the check-only edition");

class CheckEditionTest : public ::testing::Test {
 protected:
  testsys::CleanSystem system_;
};

TEST_F(CheckEditionTest, VersionStringsAreCutToTheNarrowerFields) {
  const std::u16string path = testsys::ScratchFolder() + u"\\long.exe";
  ASSERT_TRUE(fixtures::Install("long_company.exe", path));
  _RunData item;
  std::memset(&item, 0, sizeof(item));
  wtext::Copy(item.cmdline, path.c_str());
  FillFileFacts(item);
  std::u16string expected;
  for (int i = 0; i < 26; ++i) expected += u"0123456789";
  expected.resize(255);
  EXPECT_EQ(expected, std::u16string(item.company));
  EXPECT_STREQ("Long company fixture", wtext::ToUtf8(item.desc).c_str());

  char16_t out[257];
  EXPECT_EQ(1, ReadVersionString(path.c_str(), u"CompanyName", out));
  EXPECT_EQ(255u, wtext::Length(out));
}

TEST_F(CheckEditionTest, LongNamesAreCutButTheWholePathIsKept) {
  const std::u16string folder = testsys::ScratchFolder();
  ASSERT_TRUE(testsys::WriteFileBytes(folder + u"\\short.lnk", "x"));
  const std::u16string longName = std::u16string(124, u'n') + u".lnk";  // 128 characters
  ASSERT_TRUE(testsys::WriteFileBytes(folder + u"\\" + longName, "x"));
  int32_t counter = 0;
  ScanContext context(nullptr, &counter, 0);
  EXPECT_EQ(1, ScanStartupFolder(folder.c_str(), kTypeUserStartup, context));
  ASSERT_EQ(2, context.inventory.GetSize());
  EXPECT_EQ(2, counter);
  for (int i = 0; i < context.inventory.GetSize(); ++i) {
    const _RunData& item = context.inventory.GetAt(i);
    if (std::u16string(item.name) == u"short.lnk") continue;
    // The name is a display text, cut to the 127 characters the field holds;
    // the command line keeps the whole path that a repair deletes by.
    EXPECT_EQ(longName.substr(0, 127), std::u16string(item.name));
    EXPECT_EQ(folder + u"\\" + longName, std::u16string(item.cmdline));
  }
}

}  // namespace
