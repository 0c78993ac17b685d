// Facts about the program an item starts: description, company, version and
// size, read from its version resource and the file itself.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "records/run_data.h"
#include "platform/win32_types.h"

// What a program's version resource and size say, as FillFileFacts reads
// them: each string at most 256 characters, empty when missing.
struct ProgramFacts {
  std::u16string description;
  std::u16string company;
  std::u16string version;
  int64_t size = 0;
};

// The facts of each program read during one scan, by the path its command
// line resolves to: a program that many items start is opened and read
// once. Kept only for the scan (one export call), so a later call sees a
// program replaced meanwhile.
class ProgramFactsCache {
 public:
  // The facts of path, read now or found from earlier in the scan.
  const ProgramFacts& Get(const char16_t* path);
  size_t Size() const { return facts_.size(); }
  void Clear() { facts_.clear(); }

 private:
  std::unordered_map<std::u16string, ProgramFacts> facts_;
};

// Fills desc (when empty), company, version and size from the program the
// command line names; with a cache, each program is read once.
void FillFileFacts(_RunData& item);
void FillFileFacts(_RunData& item, ProgramFactsCache& cache);
// out holds 256 units plus terminator; emptied first. 1 when found.
int ReadVersionString(const char16_t* path, const char16_t* valueName, char16_t* out);
#ifndef RUNVANE_CHECK_ONLY
// The low 32 bits of a file's size; 0 when it cannot be opened.
int64_t GetFileSizeOf(const char16_t* path);
// Rewrites "\??\" and "\SystemRoot\" paths in place (260 units); a
// rewritten path that would not fit is left as it was.
void NormalizeNativePath(char16_t* path);
#endif
// The module's directory with its trailing backslash (260 units); 0 and out
// untouched when the look-up fails, the module path does not fit 260 units or
// holds no backslash.
int GetModuleDirectory(HMODULE instance, char16_t* out);
