// Splitting paths as the C runtime does, including parts that do not fit.
#include "enrich/split_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Parts {
  bool ok;
  std::u16string drive, dir, fname, ext;
};

Parts Split(const char16_t* path, size_t fnameUnits = 260, size_t extUnits = 32) {
  char16_t drive[32] = u"x", dir[260] = u"x", fname[260] = u"x", ext[32] = u"x";
  Parts p;
  p.ok = SplitPath(path, drive, 32, dir, 260, fname, fnameUnits, ext, extUnits);
  p.drive = drive;
  p.dir = dir;
  p.fname = fname;
  p.ext = ext;
  return p;
}

TEST(SplitPath, FullPathGivesAllFourParts) {
  Parts p = Split(u"C:\\WINDOWS\\system32\\rundll32.exe shell32.dll");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(u"C:", p.drive);
  EXPECT_EQ(u"\\WINDOWS\\system32\\", p.dir);
  EXPECT_EQ(u"rundll32.exe shell32", p.fname);
  EXPECT_EQ(u".dll", p.ext);
}

TEST(SplitPath, ExtensionIsFromTheLastDotOfTheFinalPart) {
  Parts p = Split(u"C:\\Tools\\app.exe arg");
  EXPECT_EQ(u".exe arg", p.ext);
  p = Split(u"my.tool.exe");
  EXPECT_EQ(u"", p.drive);
  EXPECT_EQ(u"", p.dir);
  EXPECT_EQ(u"my.tool", p.fname);
  EXPECT_EQ(u".exe", p.ext);
  p = Split(u"C:\\v1.2\\explorer");
  EXPECT_EQ(u"\\v1.2\\", p.dir);
  EXPECT_EQ(u"explorer", p.fname);
  EXPECT_EQ(u"", p.ext) << "a dot in the directory is not an extension";
}

TEST(SplitPath, ForwardSlashesAndRelativeFolders) {
  Parts p = Split(u"system32/tool.exe");
  EXPECT_EQ(u"", p.drive);
  EXPECT_EQ(u"system32/", p.dir);
  EXPECT_EQ(u"tool", p.fname);
  p = Split(u"C:tool.exe");
  EXPECT_EQ(u"C:", p.drive);
  EXPECT_EQ(u"", p.dir);
  EXPECT_EQ(u"tool", p.fname);
  p = Split(u"");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(u"", p.drive + p.dir + p.fname + p.ext);
}

TEST(SplitPath, PartThatDoesNotFitEmptiesEveryPart) {
  std::u16string longExt = u"C:\\dir\\file." + std::u16string(31, u'e');  // 32 with the dot
  Parts p = Split(longExt.c_str());
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"", p.drive + p.dir + p.fname + p.ext);
  std::u16string fitting = u"C:\\dir\\file." + std::u16string(30, u'e');
  EXPECT_TRUE(Split(fitting.c_str()).ok);

  p = Split(u"C:\\dir\\abcdefgh.txt", 8);
  EXPECT_FALSE(p.ok) << "base name of 8 in a buffer of 8";
  EXPECT_TRUE(Split(u"C:\\dir\\abcdefg.txt", 8).ok);
}

TEST(SplitPath, UnwantedPartsAreNotWritten) {
  char16_t fname[16] = {}, ext[8] = {};
  EXPECT_TRUE(SplitPath(u"C:\\a\\Note.TXT", nullptr, 0, nullptr, 0, fname, 16, ext, 8));
  EXPECT_EQ(std::u16string(u"Note"), fname);
  EXPECT_EQ(std::u16string(u".TXT"), ext);
}

}  // namespace
