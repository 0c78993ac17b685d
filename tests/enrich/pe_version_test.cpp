// The portable version-resource reader on the fixtures' known values, on a
// 64-bit image, and on damaged input that must yield nothing and never read
// out of bounds.
#include "platform/pe_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

struct Block {
  bool found = false;
  std::vector<uint8_t> bytes;
};

Block LoadBlock(const std::string& file) {
  Block block;
  pe_version::MemorySource source(file.data(), file.size());
  pe_version::VersionResource resource;
  if (!pe_version::FindVersionResource(source, &resource)) return block;
  const uint32_t size = pe_version::InfoBlockSize(resource.size);
  if (size == 0) return block;
  block.bytes.assign(size, 0);
  if (!pe_version::ReadVersionResource(source, resource, block.bytes.data(), resource.size))
    return block;
  pe_version::FinishInfoBlock(block.bytes.data(), size);
  block.found = true;
  return block;
}

// The string under a query path, as far as its reported length reaches.
bool QueryString(const Block& block, const char16_t* path, std::u16string* text,
                 uint32_t* length = nullptr) {
  const uint8_t* value = nullptr;
  uint32_t units = 0;
  if (!pe_version::QueryValue(block.bytes.data(), block.bytes.size(), path, &value, &units))
    return false;
  text->clear();
  for (uint32_t i = 0; i < units; ++i) {
    char16_t c;
    std::memcpy(&c, value + 2 * i, 2);
    if (c == 0) break;
    *text += c;
  }
  if (length != nullptr) *length = units;
  return true;
}

uint32_t Word32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::string Fixture(const char* name) {
  std::string bytes;
  EXPECT_TRUE(fixtures::ReadBytes(name, &bytes)) << "fixture " << name << " was not built";
  return bytes;
}

void ExpectNormalFixture(const Block& block) {
  ASSERT_TRUE(block.found);
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(), u"\\", &value, &length));
  EXPECT_EQ(52u, length);
  EXPECT_EQ(0xFEEF04BDu, Word32(value));
  EXPECT_EQ(0x00010002u, Word32(value + 8));   // file version 1.2
  EXPECT_EQ(0x00030004u, Word32(value + 12));  // .3.4

  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(),
                                     u"\\VarFileInfo\\Translation", &value, &length));
  EXPECT_EQ(4u, length);
  EXPECT_EQ(0x04B00409u, Word32(value));

  std::u16string text;
  ASSERT_TRUE(QueryString(block, u"\\StringFileInfo\\040904b0\\CompanyName", &text, &length));
  EXPECT_EQ(u"Fixture Works Ltd", text);
  EXPECT_EQ(18u, length) << "length in characters with the terminator";
  ASSERT_TRUE(QueryString(block, u"\\StringFileInfo\\040904b0\\FileDescription", &text));
  EXPECT_EQ(u"Fixture tray helper", text);
  ASSERT_TRUE(QueryString(block, u"\\StringFileInfo\\040904b0\\FileVersion", &text));
  EXPECT_EQ(u"1.2.3.4", text);
  EXPECT_FALSE(QueryString(block, u"\\StringFileInfo\\040904b0\\LegalCopyright", &text));
  EXPECT_FALSE(QueryString(block, u"\\StringFileInfo\\040904b0\\Company", &text))
      << "a key prefix is not a match";
}

TEST(PeVersionFixtures, NormalImageGivesItsStrings) {
  ExpectNormalFixture(LoadBlock(Fixture("normal.exe")));
}

TEST(PeVersionFixtures, QueryPathsMatchIgnoringCaseAndSkipEmptyParts) {
  Block block = LoadBlock(Fixture("normal.exe"));
  ASSERT_TRUE(block.found);
  std::u16string text;
  EXPECT_TRUE(QueryString(block, u"\\stringfileinfo\\040904B0\\COMPANYNAME", &text));
  EXPECT_EQ(u"Fixture Works Ltd", text);
  EXPECT_TRUE(QueryString(block, u"\\\\StringFileInfo\\\\040904b0\\CompanyName\\", &text));
  EXPECT_EQ(u"Fixture Works Ltd", text);

  const uint8_t* root = nullptr;
  const uint8_t* empty = nullptr;
  uint32_t a = 0, b = 0;
  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(), u"\\", &root, &a));
  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(), u"", &empty, &b));
  EXPECT_EQ(root, empty) << "an empty path names the root";
}

TEST(PeVersionFixtures, BlockSizeAndMarkFollowTheSystemLibrary) {
  std::string file = Fixture("normal.exe");
  pe_version::MemorySource source(file.data(), file.size());
  pe_version::VersionResource resource;
  ASSERT_TRUE(pe_version::FindVersionResource(source, &resource));
  Block block = LoadBlock(file);
  ASSERT_TRUE(block.found);
  EXPECT_EQ(resource.size * 2 + 4, block.bytes.size());
  const uint32_t root = pe_version::BlockExtent(block.bytes.data());
  EXPECT_EQ(resource.size, root);
  EXPECT_EQ(0, std::memcmp(block.bytes.data() + root, "FE2X", 4));
}

TEST(PeVersionFixtures, StringsUnderAnotherCodePageAreNotUnderTheFirstTranslation) {
  Block block = LoadBlock(Fixture("other_code_page.exe"));
  ASSERT_TRUE(block.found);
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(),
                                     u"\\VarFileInfo\\Translation", &value, &length));
  EXPECT_EQ(8u, length);
  EXPECT_EQ(0x04E40409u, Word32(value)) << "first translation 0409/04E4";
  std::u16string text;
  EXPECT_FALSE(QueryString(block, u"\\StringFileInfo\\040904e4\\CompanyName", &text));
  EXPECT_TRUE(QueryString(block, u"\\StringFileInfo\\040904b0\\CompanyName", &text));
  EXPECT_EQ(u"Hidden Strings Inc", text);
}

TEST(PeVersionFixtures, ChineseStringsUnderTheChineseTranslation) {
  Block block = LoadBlock(Fixture("chinese.exe"));
  ASSERT_TRUE(block.found);
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(pe_version::QueryValue(block.bytes.data(), block.bytes.size(),
                                     u"\\VarFileInfo\\Translation", &value, &length));
  EXPECT_EQ(0x04B00804u, Word32(value));
  std::u16string text;
  ASSERT_TRUE(QueryString(block, u"\\StringFileInfo\\080404b0\\CompanyName", &text));
  EXPECT_EQ(u"示例软件有限公司", text);
  ASSERT_TRUE(QueryString(block, u"\\StringFileInfo\\080404b0\\FileDescription", &text));
  EXPECT_EQ(u"自启动测试程序", text);
}

TEST(PeVersionFixtures, ImageWithoutVersionResourceHasNone) {
  EXPECT_FALSE(LoadBlock(Fixture("no_version.exe")).found);
}

TEST(PeVersionFixtures, SixtyFourBitImageGivesTheSameAnswers) {
  std::string converted = fixtures::ToPe32Plus(Fixture("normal.exe"));
  ASSERT_FALSE(converted.empty());
  ExpectNormalFixture(LoadBlock(converted));
  if (!fixtures::Exists("normal64.exe")) {
    GTEST_SKIP() << "no x86-64 MinGW tools: the compiled 64-bit fixture was not built";
  }
  ExpectNormalFixture(LoadBlock(Fixture("normal64.exe")));
}

// ------------------------------------------------------- windowed reading

// A file in memory read through the window, counting the reads of the file.
class CountingWindow : public pe_version::WindowedSource {
 public:
  CountingWindow(const void* data, size_t size) : WindowedSource(size), memory_(data, size) {}
  mutable int fetches = 0;

 private:
  bool Fetch(uint64_t offset, void* out, size_t n) const override {
    ++fetches;
    EXPECT_LE(offset + n, memory_.Size()) << "fetch past the end";
    return memory_.Read(offset, out, n);
  }
  pe_version::MemorySource memory_;
};

TEST(PeVersionWindow, ReadsGiveTheFilesBytesWhereverTheyFall) {
  std::vector<uint8_t> bytes(3 * pe_version::WindowedSource::kWindowBytes + 123);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 251);
  CountingWindow window(bytes.data(), bytes.size());
  const size_t page = pe_version::WindowedSource::kWindowBytes;
  struct Span {
    uint64_t offset;
    size_t n;
  };
  // Inside a page, across a page boundary, larger than the window, the
  // last bytes, empty, and past the end.
  const Span spans[] = {{10, 20}, {page - 5, 10}, {1, 2 * page + 7}, {bytes.size() - 3, 3},
                        {bytes.size(), 0}, {15, 4}, {page + 1, page - 1}, {2 * page - 1, 2}};
  for (const Span& span : spans) {
    std::vector<uint8_t> out(span.n + 1, 0xEE);
    ASSERT_TRUE(window.Read(span.offset, out.data(), span.n)) << span.offset;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + long(span.n), bytes.begin() + long(span.offset)))
        << span.offset << "+" << span.n;
    EXPECT_EQ(0xEE, out[span.n]) << "wrote past the read";
  }
  uint8_t one = 0;
  EXPECT_FALSE(window.Read(bytes.size() - 2, &one, 3));
  EXPECT_FALSE(window.Read(bytes.size() + 1, &one, 0));
}

TEST(PeVersionWindow, AResourceWalkOfASmallImageReadsItOnce) {
  const std::string file = Fixture("normal.exe");
  CountingWindow window(file.data(), file.size());
  pe_version::VersionResource found;
  ASSERT_TRUE(pe_version::FindVersionResource(window, &found));
  std::vector<uint8_t> block(found.size);
  ASSERT_TRUE(pe_version::ReadVersionResource(window, found, block.data(), found.size));
  if (file.size() <= pe_version::WindowedSource::kWindowBytes) {
    EXPECT_EQ(1, window.fetches);
  }
  EXPECT_LE(window.fetches, 4);
}

// ----------------------------------------------------------- damaged input

TEST(PeVersionDamaged, EveryTruncationIsHandled) {
  const std::string file = Fixture("normal.exe");
  pe_version::VersionResource whole;
  pe_version::MemorySource full(file.data(), file.size());
  ASSERT_TRUE(pe_version::FindVersionResource(full, &whole));
  for (size_t n = 0; n < file.size(); ++n) {
    // An exact-size copy, so that a read past the end is caught by the
    // sanitizer build.
    std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<long>(n));
    pe_version::MemorySource source(prefix.data(), prefix.size());
    pe_version::VersionResource found;
    if (!pe_version::FindVersionResource(source, &found)) continue;
    std::vector<uint8_t> out(found.size);
    // Whatever was found lies within the bytes that exist.
    EXPECT_TRUE(pe_version::ReadVersionResource(source, found, out.data(), found.size)) << n;
  }
}

TEST(PeVersionDamaged, RandomCorruptionNeverCrashes) {
  const std::string file = Fixture("normal.exe");
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes(file.begin(), file.end());
    const int flips = 1 + static_cast<int>(next() % 8);
    for (int i = 0; i < flips; ++i) bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
    pe_version::MemorySource source(bytes.data(), bytes.size());
    pe_version::VersionResource found;
    if (!pe_version::FindVersionResource(source, &found) || found.size > (1u << 20)) continue;
    std::vector<uint8_t> block(pe_version::InfoBlockSize(found.size));
    if (block.size() < 6) continue;
    ASSERT_TRUE(pe_version::ReadVersionResource(source, found, block.data(), found.size));
    pe_version::FinishInfoBlock(block.data(), static_cast<uint32_t>(block.size()));
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    const uint32_t extent = pe_version::BlockExtent(block.data());
    ASSERT_LE(extent, block.size());
    for (const char16_t* path : {u"\\", u"\\VarFileInfo\\Translation",
                                 u"\\StringFileInfo\\040904b0\\CompanyName"}) {
      if (pe_version::QueryValue(block.data(), extent, path, &value, &length)) {
        EXPECT_GE(value, block.data());
        EXPECT_LE(value, block.data() + extent);
      }
    }
  }
}

// Builds one version node: header, key, value, children.
std::vector<uint8_t> Node(const std::u16string& key, uint16_t valueLength, uint16_t type,
                          const std::vector<uint8_t>& value,
                          const std::vector<uint8_t>& children, int lengthOverride = -1) {
  std::vector<uint8_t> node(6, 0);
  for (char16_t c : key + u'\0') {
    node.push_back(static_cast<uint8_t>(c & 0xFF));
    node.push_back(static_cast<uint8_t>(c >> 8));
  }
  while (node.size() % 4) node.push_back(0);
  node.insert(node.end(), value.begin(), value.end());
  while (node.size() % 4) node.push_back(0);
  node.insert(node.end(), children.begin(), children.end());
  const size_t length = lengthOverride >= 0 ? static_cast<size_t>(lengthOverride) : node.size();
  node[0] = static_cast<uint8_t>(length & 0xFF);
  node[1] = static_cast<uint8_t>(length >> 8);
  node[2] = static_cast<uint8_t>(valueLength & 0xFF);
  node[3] = static_cast<uint8_t>(valueLength >> 8);
  node[4] = static_cast<uint8_t>(type);
  return node;
}

TEST(PeVersionDamaged, ChildOfLengthZeroEndsTheSearch) {
  std::vector<uint8_t> stuck = Node(u"A", 0, 1, {}, {}, 0);
  std::vector<uint8_t> root = Node(u"VS_VERSION_INFO", 0, 0, {}, stuck);
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(pe_version::QueryValue(root.data(), root.size(), u"\\B", &value, &length));
  EXPECT_TRUE(pe_version::QueryValue(root.data(), root.size(), u"\\A", &value, &length));
}

TEST(PeVersionDamaged, LengthsPastTheBlockFindNothing) {
  // A child that claims far more than the block holds, and a key without
  // its terminator at the very end: both are ignored, never read past.
  std::vector<uint8_t> child = Node(u"Big", 0xFFFF, 1, {}, {}, 0xFFF0);
  std::vector<uint8_t> root = Node(u"VS_VERSION_INFO", 0, 0, {}, child, 0xFFFF);
  std::vector<uint8_t> exact(root.begin(), root.end());
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(pe_version::QueryValue(exact.data(), exact.size(), u"\\Big\\Deeper", &value, &length));
  // The child starts at 40 (after the root's header and key); 52 bytes end
  // the block just before its key's terminator.
  std::vector<uint8_t> cut(exact.begin(), exact.begin() + 52);
  EXPECT_FALSE(pe_version::QueryValue(cut.data(), cut.size(), u"\\Big", &value, &length));
  EXPECT_FALSE(pe_version::QueryValue(exact.data(), 3, u"\\", &value, &length));
}

TEST(PeVersionDamaged, RootClaimingMoreThanTheBlockIsShortened) {
  std::vector<uint8_t> block = Node(u"VS_VERSION_INFO", 0, 0, {}, {}, 0x4000);
  block.resize(64, 0);
  pe_version::FinishInfoBlock(block.data(), static_cast<uint32_t>(block.size()));
  EXPECT_EQ(64u, pe_version::BlockExtent(block.data()));
}

}  // namespace

// ------------------------------------------ the platform's version calls

namespace {

TEST(VersionInfoCalls, BlockOfAFixtureAnswersQueries) {
  testsys::CleanSystem system;
  const std::u16string path = testsys::ScratchFolder() + u"\\normal.exe";
  ASSERT_TRUE(fixtures::Install("normal.exe", path));
  DWORD handle = 7;
  const DWORD size = platform::GetFileVersionInfoSizeW(path.c_str(), &handle);
  EXPECT_EQ(0u, handle);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> block(size, 0);
  ASSERT_TRUE(platform::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(platform::VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileVersion",
                                       &value, &length));
  EXPECT_EQ(8u, length);
  EXPECT_EQ(0, std::memcmp(value, u"1.2.3.4", 16));
  EXPECT_FALSE(platform::VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\Missing",
                                        &value, &length));
  EXPECT_EQ(0u, length);
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), platform::GetLastError());
}

TEST(VersionInfoCalls, FilesWithoutAResourceSayWhy) {
  testsys::CleanSystem system;
  DWORD handle = 0;
  EXPECT_EQ(0u, platform::GetFileVersionInfoSizeW(u"C:\\rv-absent\\none.exe", &handle));
  const DWORD missing = platform::GetLastError();
  EXPECT_TRUE(missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND) << missing;

  const std::u16string plain = testsys::ScratchFolder() + u"\\plain.exe";
  ASSERT_TRUE(fixtures::Install("no_version.exe", plain));
  EXPECT_EQ(0u, platform::GetFileVersionInfoSizeW(plain.c_str(), &handle));
  // Windows answers ERROR_RESOURCE_TYPE_NOT_FOUND; Wine's library answers
  // ERROR_RESOURCE_DATA_NOT_FOUND.
  const DWORD none = platform::GetLastError();
  EXPECT_TRUE(none == ERROR_RESOURCE_TYPE_NOT_FOUND || none == ERROR_RESOURCE_DATA_NOT_FOUND)
      << none;
}

}  // namespace
