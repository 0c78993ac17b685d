// ResolveCommandLine: the program file behind a startup command line, found
// by three fixed cuts, one environment expansion, one split and, where the
// line names no folder, one search of the system's executable path.
#include "enrich/resolve_command_line.h"

#include <cstring>

#include "enrich/split_path.h"
#include "platform/platform.h"
#include "platform/wtext.h"

namespace {

constexpr size_t kPathUnits = MAX_PATH;
constexpr size_t kDriveUnits = 32;
constexpr size_t kExtUnits = 32;

// Ends text at the first occurrence of separator, if any.
void CutAt(char16_t* text, const char16_t* separator) {
  const char16_t* found = wtext::Find(text, separator);
  if (found != nullptr) text[found - text] = 0;
}

}  // namespace

void ExtractQuotedText(const char16_t* commandLine, char16_t* out) {
  const char16_t* open = wtext::FindChar(commandLine, u'"');
  const char16_t* close = open != nullptr ? wtext::FindChar(open + 1, u'"') : nullptr;
  if (close != nullptr && close - open > 1) {
    // The quoted text is shorter than the line it comes from, so it fits
    // whenever the line does; the bound still holds for longer input.
    size_t length = static_cast<size_t>(close - open - 1);
    if (length > kPathUnits - 1) length = kPathUnits - 1;
    std::memcpy(out, open + 1, length * sizeof(char16_t));
    out[length] = 0;
    return;
  }
  wtext::Copy(out, kPathUnits, commandLine);
}

void ResolveCommandLine(const char16_t* commandLine, char16_t* resolvedPath) {
  wtext::Copy(resolvedPath, kPathUnits, commandLine);

  char16_t working[kPathUnits] = {};
  ExtractQuotedText(commandLine, working);
  // In this order, each on the result of the one before; a plain blank or a
  // tab never ends the path.
  CutAt(working, u",");
  CutAt(working, u" /");
  CutAt(working, u" -");

  // An expansion that fails or does not fit leaves no usable path: the
  // caller then reads nothing rather than a truncated name.
  char16_t expanded[kPathUnits] = {};
  DWORD needed = platform::ExpandEnvironmentStringsW(working, expanded, kPathUnits);
  if (needed == 0 || needed > kPathUnits) {
    resolvedPath[0] = 0;
    return;
  }
  expanded[kPathUnits - 1] = 0;

  char16_t drive[kDriveUnits] = {};
  char16_t dir[kPathUnits] = {};
  char16_t base[kPathUnits] = {};
  char16_t ext[kExtUnits] = {};
  if (!SplitPath(expanded, drive, kDriveUnits, dir, kPathUnits, base, kPathUnits, ext,
                 kExtUnits)) {
    resolvedPath[0] = 0;
    return;
  }

  char16_t chosen[kPathUnits] = {};
  if (drive[0] != 0 && dir[0] != 0) {
    wtext::Copy(chosen, expanded);
  } else if (ext[0] != 0) {
    // Only the base name and extension are searched for; a directory without
    // a drive is dropped. The search adds the extension only when the base
    // name has none of its own, so "my.tool.exe" is looked for as "my.tool".
    DWORD found = platform::SearchPathW(nullptr, base, ext, kPathUnits, chosen, nullptr);
    if (found == 0 || found >= kPathUnits) chosen[0] = 0;
    chosen[kPathUnits - 1] = 0;
  } else {
    return;  // a bare name such as "explorer": the command line stays
  }
  wtext::Copy(resolvedPath, kPathUnits, chosen);
}
