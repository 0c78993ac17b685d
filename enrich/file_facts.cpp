// FillFileFacts and its building blocks: strings of a program's version
// resource under its first translation, the program's size, and the folder
// the module was loaded from.
#include "enrich/file_facts.h"

#include <cstring>
#include <memory>
#include <new>

#include "enrich/resolve_command_line.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

constexpr size_t kPathUnits = MAX_PATH;
constexpr DWORD kLargestVersionBlock = 0xFFFFF;
constexpr size_t kQueryUnits = 512;
// Version strings pass through 256 units plus terminator, and are cut
// further where the edition's text fields are narrower (the check-only
// edition holds 255 characters).
constexpr size_t kNarrowestField =
    rundata::kDescUnits < rundata::kCompanyUnits ? rundata::kDescUnits : rundata::kCompanyUnits;
constexpr size_t kValueChars = kNarrowestField - 1 < 256 ? kNarrowestField - 1 : 256;
constexpr const char16_t* kUnknown = u"未知";

// Appends value as four lower-case hexadecimal digits.
void AppendHex4(char16_t* out, unsigned value) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  for (int shift = 12; shift >= 0; shift -= 4) *out++ = kDigits[(value >> shift) & 0xF];
  *out = 0;
}

// One file's version resource, read once and asked for several strings under
// its first translation, with the same answers as reading it anew each time.
class VersionBlock {
 public:
  explicit VersionBlock(const char16_t* path) { Load(path); }

  // 1 and the value (at most kValueChars characters) when found, else 0 and
  // out empty; out holds 257 units.
  int Query(const char16_t* valueName, char16_t* out) const {
    out[0] = 0;
    if (!translated_) return 0;
    char16_t query[kQueryUnits] = {};
    wtext::Copy(query, u"\\StringFileInfo\\");
    size_t at = wtext::Length(query);
    AppendHex4(query + at, language_);
    AppendHex4(query + at + 4, codePage_);
    wtext::Append(query, u"\\");
    if (!wtext::Append(query, valueName)) return 0;

    void* value = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueW(block_.get(), query, &value, &length) || value == nullptr)
      return 0;
    // The reported length (characters, terminator included) bounds the copy;
    // the text ends at its first zero within it.
    const char16_t* text = static_cast<const char16_t*>(value);
    size_t count = 0;
    while (count < length && count < kValueChars) {
      char16_t c;
      std::memcpy(&c, text + count, sizeof(c));
      if (c == 0) break;
      out[count++] = c;
    }
    out[count] = 0;
    return 1;
  }

 private:
  void Load(const char16_t* path) {
    DWORD handle = 0;
    DWORD size = platform::GetFileVersionInfoSizeW(path, &handle);
    if (size < 1 || size > kLargestVersionBlock) return;
    block_.reset(new (std::nothrow) unsigned char[size]());
    if (!block_) return;
    if (!platform::GetFileVersionInfoW(path, 0, size, block_.get())) return;
    void* value = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueW(block_.get(), u"\\VarFileInfo\\Translation", &value, &length) ||
        value == nullptr || length < 4)
      return;
    // Only the first entry counts: a language, then a code page.
    WORD pair[2];
    std::memcpy(pair, value, sizeof(pair));
    language_ = pair[0];
    codePage_ = pair[1];
    translated_ = true;
  }

  std::unique_ptr<unsigned char[]> block_;
  bool translated_ = false;
  WORD language_ = 0;
  WORD codePage_ = 0;
};

// True when path lies under the system folder, "<Windows folder>\System32\".
// A 32-bit module on 64-bit Windows that opens such a path is sent to
// SysWOW64, which holds other programs or none of that name; its facts
// are read with redirection off (platform::ScopedNativeFileSystem).
bool UnderSystemFolder(const char16_t* path) {
  char16_t prefix[kPathUnits] = {};
  const UINT length = platform::GetWindowsDirectoryW(prefix, kPathUnits);
  if (length == 0 || length >= kPathUnits) return false;
  prefix[kPathUnits - 1] = 0;
  const size_t at = wtext::Length(prefix);
  if (at == 0) return false;
  if (prefix[at - 1] != u'\\' && !wtext::Append(prefix, u"\\")) return false;
  if (!wtext::Append(prefix, u"System32\\")) return false;
  const size_t prefixLength = wtext::Length(prefix);
  if (wtext::LengthBounded(path, prefixLength) < prefixLength) return false;
  char16_t head[kPathUnits] = {};
  for (size_t i = 0; i < prefixLength; ++i) head[i] = path[i];
  return wtext::CompareNoCaseSimple(head, prefix) == 0;
}

// Copies a version string into a record field, or the placeholder when the
// string is missing or empty.
template <size_t N>
void StoreOrUnknown(char16_t (&field)[N], const char16_t* value) {
  wtext::Copy(field, value[0] != 0 ? value : kUnknown);
}

}  // namespace

int ReadVersionString(const char16_t* path, const char16_t* valueName, char16_t* out) {
  out[0] = 0;
  platform::ScopedNativeFileSystem native(UnderSystemFolder(path));
  VersionBlock block(path);
  return block.Query(valueName, out);
}

namespace {

ProgramFacts ReadProgramFacts(const char16_t* path) {
  VersionBlock block = [path] {
    // A program under the system folder is read from the native folder.
    platform::ScopedNativeFileSystem native(UnderSystemFolder(path));
    return VersionBlock(path);
  }();
  ProgramFacts facts;
  char16_t value[kValueChars + 1];
  block.Query(u"FileDescription", value);
  facts.description = value;
  block.Query(u"CompanyName", value);
  facts.company = value;
#ifndef RUNVANE_CHECK_ONLY
  block.Query(u"FileVersion", value);
  facts.version = value;
  facts.size = GetFileSizeOf(path);
#endif
  return facts;
}

void StoreFacts(_RunData& item, const ProgramFacts& facts) {
  if (item.desc[0] == 0) wtext::Copy(item.desc, facts.description);
  StoreOrUnknown(item.company, facts.company.c_str());
#ifndef RUNVANE_CHECK_ONLY
  StoreOrUnknown(item.version, facts.version.c_str());
  item.size = facts.size;
#endif
}

}  // namespace

const ProgramFacts& ProgramFactsCache::Get(const char16_t* path) {
  auto found = facts_.find(path);
  if (found == facts_.end()) found = facts_.emplace(path, ReadProgramFacts(path)).first;
  return found->second;
}

void FillFileFacts(_RunData& item) {
  char16_t path[kPathUnits] = {};
  ResolveCommandLine(item.cmdline, path);
  StoreFacts(item, ReadProgramFacts(path));
}

void FillFileFacts(_RunData& item, ProgramFactsCache& cache) {
  char16_t path[kPathUnits] = {};
  ResolveCommandLine(item.cmdline, path);
  StoreFacts(item, cache.Get(path));
}

// The file size and native-path rewriting are facts of the full edition only.
#ifndef RUNVANE_CHECK_ONLY
int64_t GetFileSizeOf(const char16_t* path) {
  char16_t normalized[kPathUnits] = {};
  wtext::Copy(normalized, path);
  NormalizeNativePath(normalized);
  platform::ScopedNativeFileSystem native(UnderSystemFolder(normalized));
  platform::ScopedFile file(platform::CreateFileW(normalized, GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return 0;
  DWORD low = platform::GetFileSize(file.get(), nullptr);
  return static_cast<int64_t>(static_cast<uint64_t>(low));
}

void NormalizeNativePath(char16_t* path) {
  static const char16_t kDevicePrefix[] = u"\\??\\";
  static const char16_t kSystemRoot[] = u"\\SystemRoot\\";
  constexpr size_t kDeviceLength = 4;
  constexpr size_t kSystemRootLength = 12;

  size_t length = wtext::LengthBounded(path, kPathUnits);
  if (length >= kPathUnits) return;  // not a terminated path of 260 units
  if (length >= kDeviceLength &&
      std::memcmp(path, kDevicePrefix, kDeviceLength * sizeof(char16_t)) == 0) {
    std::memmove(path, path + kDeviceLength, (length - kDeviceLength + 1) * sizeof(char16_t));
    return;
  }
  if (length >= kSystemRootLength &&
      std::memcmp(path, kSystemRoot, kSystemRootLength * sizeof(char16_t)) == 0) {
    char16_t rewritten[kPathUnits] = {};
    UINT windowsLength = platform::GetWindowsDirectoryW(rewritten, kPathUnits);
    if (windowsLength == 0 || windowsLength >= kPathUnits) return;
    rewritten[kPathUnits - 1] = 0;
    size_t at = wtext::Length(rewritten);
    if (at == 0 || rewritten[at - 1] != u'\\') {
      if (!wtext::Append(rewritten, u"\\")) return;
    }
    // A result that would not fit 260 units leaves the path as it was: the
    // file is then simply not found, and nothing is cut to a wrong name.
    if (!wtext::Append(rewritten, path + kSystemRootLength)) return;
    wtext::Copy(path, kPathUnits, rewritten);
  }
}

#endif  // RUNVANE_CHECK_ONLY

int GetModuleDirectory(HMODULE instance, char16_t* out) {
  char16_t modulePath[kPathUnits] = {};
  DWORD length = platform::GetModuleFileNameW(instance, modulePath, kPathUnits);
  // A failed look-up, or a path cut to fit (the system answers the buffer's
  // size then), names no folder: a cut path's last backslash would give a
  // parent or some other folder.
  if (length == 0 || length >= kPathUnits) return 0;
  modulePath[length] = 0;
  const char16_t* slash = wtext::FindLastChar(modulePath, u'\\');
  if (slash == nullptr) return 0;
  modulePath[slash - modulePath + 1] = 0;
  wtext::Copy(out, kPathUnits, modulePath);
  return 1;
}
