// The version resource of every shipped Windows binary, read back from the
// files. The same checks run twice: on Linux through the project's own
// reader (platform/pe_version.h, what the Linux backend answers
// GetFileVersionInfoW with), under Wine through the system's version.dll.
//
// The files are read from RUNVANE_PACKAGE_DIR when it is set (the unpacked
// release archive), else, on Windows, from the folder of this program (the
// build's bin folder). A Linux build has no Windows binaries of its own and
// skips without RUNVANE_PACKAGE_DIR.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/pe_version.h"
#endif

#include "platform/wtext.h"
#include "runvane_version.h"

namespace {

// VS_FIXEDFILEINFO, spelled out so that the Linux build needs no Windows header.
struct FixedFileInfo {
  uint32_t signature, structVersion, fileVersionMS, fileVersionLS, productVersionMS,
      productVersionLS, flagsMask, flags, os, fileType, fileSubtype, dateMS, dateLS;
};
static_assert(sizeof(FixedFileInfo) == 52, "VS_FIXEDFILEINFO");

struct Shipped {
  const char* file;
  const char* descriptionPart;  // a word the description must hold
  uint32_t fileType;            // VFT_APP 1, VFT_DLL 2
};

const Shipped kShipped[] = {
    {"runvane.dll", "module", 2},
    {"runvane_check.dll", "check-only", 2},
    {"runvane.exe", "host", 1},
};

std::string Folder() {
  const char* dir = std::getenv("RUNVANE_PACKAGE_DIR");
  if (dir != nullptr && *dir != 0) {
    std::string folder = dir;
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder;
  }
#ifdef _WIN32
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
  return self.substr(0, self.find_last_of("\\/") + 1);
#else
  return std::string();
#endif
}

// The version-information block of a file, as GetFileVersionInfoW hands it out.
bool LoadBlock(const std::string& path, std::vector<uint8_t>* block) {
#ifdef _WIN32
  std::u16string wide = wtext::FromUtf8(path);
  const wchar_t* name = reinterpret_cast<const wchar_t*>(wide.c_str());
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(name, &ignored);
  if (size == 0) return false;
  block->assign(size, 0);
  return GetFileVersionInfoW(name, 0, size, block->data()) != 0;
#else
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pe_version::MemorySource source(bytes.data(), bytes.size());
  pe_version::VersionResource found;
  if (!pe_version::FindVersionResource(source, &found)) return false;
  uint32_t size = pe_version::InfoBlockSize(found.size);
  if (size == 0) return false;
  block->assign(size, 0);
  if (!pe_version::ReadVersionResource(source, found, block->data(), found.size)) return false;
  pe_version::FinishInfoBlock(block->data(), size);
  return true;
#endif
}

bool Query(const std::vector<uint8_t>& block, const char16_t* path, const void** value,
           uint32_t* length) {
#ifdef _WIN32
  void* found = nullptr;
  UINT units = 0;
  if (!VerQueryValueW(block.data(), reinterpret_cast<const wchar_t*>(path), &found, &units))
    return false;
  *value = found;
  *length = units;
  return true;
#else
  const uint8_t* found = nullptr;
  if (!pe_version::QueryValue(block.data(), block.size(), path, &found, length)) return false;
  *value = found;
  return true;
#endif
}

std::string Text(const std::vector<uint8_t>& block, const char* name) {
  std::u16string path = u"\\StringFileInfo\\040904b0\\" + wtext::FromUtf8(name);
  const void* value = nullptr;
  uint32_t length = 0;
  if (!Query(block, path.c_str(), &value, &length) || length == 0) return "<missing>";
  std::u16string text(static_cast<const char16_t*>(value), length);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return wtext::ToUtf8(text);
}

class VersionResourceTest : public ::testing::TestWithParam<Shipped> {
 protected:
  void SetUp() override {
    folder_ = Folder();
    if (folder_.empty()) GTEST_SKIP() << "set RUNVANE_PACKAGE_DIR to the folder of the Windows binaries";
    ASSERT_TRUE(LoadBlock(folder_ + GetParam().file, &block_))
        << "no version resource in " << folder_ << GetParam().file;
  }
  std::string folder_;
  std::vector<uint8_t> block_;
};

TEST_P(VersionResourceTest, FixedInfoCarriesTheProjectVersion) {
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(Query(block_, u"\\", &value, &length));
  ASSERT_EQ(sizeof(FixedFileInfo), length);
  FixedFileInfo info;
  std::memcpy(&info, value, sizeof info);
  EXPECT_EQ(0xFEEF04BDu, info.signature);
  const uint32_t ms = (uint32_t(RUNVANE_VERSION_MAJOR) << 16) | RUNVANE_VERSION_MINOR;
  const uint32_t ls = uint32_t(RUNVANE_VERSION_PATCH) << 16;
  EXPECT_EQ(ms, info.fileVersionMS);
  EXPECT_EQ(ls, info.fileVersionLS);
  EXPECT_EQ(ms, info.productVersionMS);
  EXPECT_EQ(ls, info.productVersionLS);
  EXPECT_EQ(0x40004u, info.os) << "VOS_NT_WINDOWS32";
  EXPECT_EQ(GetParam().fileType, info.fileType);
  EXPECT_EQ(0u, info.flags) << "a release build: not debug, not pre-release";
}

TEST_P(VersionResourceTest, StringsNameTheFileProductAndVersion) {
  EXPECT_EQ(RUNVANE_VERSION_TEXT, Text(block_, "FileVersion"));
  EXPECT_EQ(RUNVANE_VERSION_TEXT, Text(block_, "ProductVersion"));
  EXPECT_EQ("Runvane", Text(block_, "ProductName"));
  EXPECT_EQ(GetParam().file, Text(block_, "OriginalFilename"));
  EXPECT_EQ(RUNVANE_COPYRIGHT_TEXT, Text(block_, "LegalCopyright"));
  EXPECT_EQ(RUNVANE_VENDOR_TEXT, Text(block_, "CompanyName"));
  EXPECT_NE(std::string::npos, Text(block_, "FileDescription").find(GetParam().descriptionPart))
      << Text(block_, "FileDescription");
}

TEST_P(VersionResourceTest, TranslationIsUsEnglishUnicode) {
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(Query(block_, u"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(4u, length);
  uint16_t pair[2];
  std::memcpy(pair, value, sizeof pair);
  EXPECT_EQ(0x0409, pair[0]);
  EXPECT_EQ(1200, pair[1]);
}

INSTANTIATE_TEST_SUITE_P(Shipped, VersionResourceTest, ::testing::ValuesIn(kShipped),
                         [](const ::testing::TestParamInfo<Shipped>& info) {
                           std::string name = info.param.file;
                           for (char& c : name)
                             if (c == '.' || c == '-') c = '_';
                           return name;
                         });

}  // namespace
