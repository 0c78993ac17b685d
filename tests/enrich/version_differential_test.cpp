// The portable version-resource reader against the system's own version
// library (Wine's under test), on the fixtures and on every PE file of the
// system folder: the block size, the block itself and the answers to the
// queries the module makes must all agree.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/pe_version.h"
#include "platform/wtext.h"
#include "tests/enrich/fixture_files.h"
#include "tests/support/test_system.h"

namespace {

constexpr int kMostSystemFiles = 2000;

class Win32Source : public pe_version::ByteSource {
 public:
  explicit Win32Source(const std::wstring& path) {
    file_ = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size;
    if (file_ != INVALID_HANDLE_VALUE && ::GetFileSizeEx(file_, &size))
      size_ = static_cast<uint64_t>(size.QuadPart);
  }
  ~Win32Source() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) const override {
    if (offset > size_ || n > size_ - offset) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    char* to = static_cast<char*>(out);
    while (n > 0) {
      DWORD got = 0;
      if (!::ReadFile(file_, to, static_cast<DWORD>(n), &got, nullptr) || got == 0) return false;
      to += got;
      n -= got;
    }
    return true;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

std::string Narrow(const std::wstring& text) {
  return wtext::ToUtf8(reinterpret_cast<const char16_t*>(text.c_str()));
}

// 16-bit (NE) modules: their version blocks hold ANSI nodes that the
// system converts on query. The module's reader handles PE images only, so
// these files are counted as a known difference and not compared.
bool IsSixteenBitModule(const Win32Source& source) {
  uint8_t dos[64];
  if (!source.Read(0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') return false;
  uint32_t at;
  std::memcpy(&at, dos + 0x3C, 4);
  uint8_t magic[2];
  return source.Read(at, magic, 2) && magic[0] == 'N' && magic[1] == 'E';
}

struct Tally {
  int sixteenBit = 0;
  int files = 0;
  int withResource = 0;
  int queries = 0;
  std::vector<std::string> disagreements;
  void Disagree(const std::wstring& path, const std::string& what) {
    disagreements.push_back(Narrow(path) + ": " + what);
  }
};

void CompareQuery(const std::wstring& path, const std::vector<uint8_t>& system,
                  const std::vector<uint8_t>& ours, const std::wstring& query, Tally* tally) {
  ++tally->queries;
  void* systemValue = nullptr;
  UINT systemLength = 0;
  const BOOL systemFound =
      ::VerQueryValueW(system.data(), query.c_str(), &systemValue, &systemLength);
  const uint8_t* ourValue = nullptr;
  uint32_t ourLength = 0;
  const bool ourFound = pe_version::QueryValue(
      ours.data(), pe_version::BlockExtent(ours.data()),
      reinterpret_cast<const char16_t*>(query.c_str()), &ourValue, &ourLength);
  const std::string q = Narrow(query);
  if ((systemFound != FALSE) != ourFound) {
    tally->Disagree(path, q + (ourFound ? " found only by us" : " found only by the system"));
    return;
  }
  if (!ourFound) return;
  const ptrdiff_t systemAt = static_cast<const uint8_t*>(systemValue) - system.data();
  const ptrdiff_t ourAt = ourValue - ours.data();
  if (systemAt != ourAt || systemLength != ourLength)
    tally->Disagree(path, q + " system at " + std::to_string(systemAt) + " length " +
                              std::to_string(systemLength) + ", ours at " + std::to_string(ourAt) +
                              " length " + std::to_string(ourLength));
}

void CompareFile(const std::wstring& path, Tally* tally) {
  ++tally->files;
  DWORD handle = 0;
  const DWORD systemSize = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  Win32Source source(path);
  if (source.ok() && IsSixteenBitModule(source)) {
    ++tally->sixteenBit;
    return;
  }
  pe_version::VersionResource resource;
  const bool found = source.ok() && pe_version::FindVersionResource(source, &resource);
  const uint32_t ourSize = found ? pe_version::InfoBlockSize(resource.size) : 0;
  if (systemSize != ourSize) {
    tally->Disagree(path, "size: system " + std::to_string(systemSize) + ", ours " +
                              std::to_string(ourSize));
    return;
  }
  if (systemSize == 0) return;
  ++tally->withResource;

  std::vector<uint8_t> system(systemSize, 0), ours(systemSize, 0);
  if (!::GetFileVersionInfoW(path.c_str(), 0, systemSize, system.data())) {
    tally->Disagree(path, "the system could not read the block it sized");
    return;
  }
  if (!pe_version::ReadVersionResource(source, resource, ours.data(), resource.size)) {
    tally->Disagree(path, "we could not read the resource we found");
    return;
  }
  pe_version::FinishInfoBlock(ours.data(), systemSize);
  if (system != ours) tally->Disagree(path, "blocks differ");

  CompareQuery(path, system, ours, L"\\", tally);
  CompareQuery(path, system, ours, L"\\VarFileInfo\\Translation", tally);
  void* translation = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(system.data(), L"\\VarFileInfo\\Translation", &translation, &length) ||
      length < 4)
    return;
  WORD pair[2];
  std::memcpy(pair, translation, sizeof(pair));
  for (const wchar_t* name : {L"FileDescription", L"CompanyName", L"FileVersion", L"ProductName"}) {
    wchar_t query[512];
    std::swprintf(query, 512, L"\\StringFileInfo\\%04x%04x\\%ls", pair[0], pair[1], name);
    CompareQuery(path, system, ours, query, tally);
  }
}

std::wstring Wide(const std::u16string& text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.c_str()));
}

void CompareFolder(const std::wstring& folder, const wchar_t* pattern, int* budget, Tally* tally) {
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (*budget <= 0) break;
    --*budget;
    CompareFile(folder + L"\\" + entry.cFileName, tally);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
}

void Report(const char* what, const Tally& tally) {
  std::printf("%s: %d files (%d 16-bit modules not compared), %d with a version resource, "
              "%d queries, %zu disagreements\n",
              what, tally.files, tally.sixteenBit, tally.withResource, tally.queries,
              tally.disagreements.size());
  for (const std::string& line : tally.disagreements) std::printf("  %s\n", line.c_str());
}

TEST(VersionDifferential, FixturesAgreeWithTheSystemLibrary) {
  testsys::CleanSystem system;
  Tally tally;
  for (const char* name : {"normal.exe", "long_company.exe", "other_code_page.exe", "chinese.exe",
                           "searched.exe", "no_version.exe", "normal64.exe"}) {
    if (!fixtures::Exists(name)) continue;
    CompareFile(Wide(fixtures::Path(name)), &tally);
  }
  std::string normal;
  ASSERT_TRUE(fixtures::ReadBytes("normal.exe", &normal));
  const std::u16string converted = testsys::ScratchFolder() + u"\\normal_pe32plus.exe";
  ASSERT_TRUE(testsys::WriteFileBytes(converted, fixtures::ToPe32Plus(normal)));
  CompareFile(Wide(converted), &tally);
  Report("fixtures", tally);
  // Five 32-bit fixtures with a resource, the converted image, and the
  // compiled 64-bit one where it was built.
  EXPECT_EQ(6 + (fixtures::Exists("normal64.exe") ? 1 : 0), tally.withResource);
  EXPECT_TRUE(tally.disagreements.empty());
}

TEST(VersionDifferential, SystemFolderAgreesWithTheSystemLibrary) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(folder, MAX_PATH), 0u);
  Tally tally;
  int budget = kMostSystemFiles;
  CompareFolder(folder, L"*.dll", &budget, &tally);
  CompareFolder(folder, L"*.exe", &budget, &tally);
  Report("system folder", tally);
  EXPECT_GT(tally.withResource, 50) << "too few files to compare";
  EXPECT_TRUE(tally.disagreements.empty());
}

}  // namespace
