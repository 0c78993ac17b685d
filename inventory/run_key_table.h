// The eleven Run-type keys. A row's index is the source index ("type") of
// every value read from it; repair and deletion by name find a value's key
// again through the same row.
//
// Registry views: every key is opened with KEY_WOW64_64KEY, so a path names
// the same key for a 32-bit and a 64-bit module. A HKEY_LOCAL_MACHINE row
// stands for two keys: its own path (the native view), then the same path
// with "SOFTWARE\Wow6432Node\" in place of "SOFTWARE\" (the 32-bit view,
// absent on 32-bit Windows). HKEY_CURRENT_USER rows stand for one key: the
// user's branch is shared by both views. RunKeyPath is the one place that
// says so.
#pragma once

#include <cstddef>

#include "platform/win32_types.h"

struct RunKeyRow {
  HKEY root;
  const char16_t* path;  // at most 255 characters
  // A former spelling of the key under which disabled values written by
  // older software may still lie; null for most rows.
  const char16_t* formerPath;
};

constexpr int kRunKeyCount = 11;

// Defined as a table in run_key_table.cpp.
extern const RunKeyRow kRunKeyTable[kRunKeyCount];

// View 0 is the native view, view 1 the 32-bit view.
constexpr int kRunKeyViewCount = 2;
constexpr int kNativeView = 0;
constexpr int kWow32View = 1;

// Run-key paths (and their disabled sub-keys) are built in this many units.
constexpr size_t kRunKeyPathUnits = 256;

enum class RunKeySpelling { kCurrent, kFormer };

// The key path of a row in a view, in its current or former spelling. False
// (out emptied) when the row has no key there: a row out of range, a
// HKEY_CURRENT_USER row in the 32-bit view, a row without former spelling,
// or a path that does not fit capacity.
bool RunKeyPath(int row, int view, RunKeySpelling spelling, char16_t* out, size_t capacity);
template <size_t N>
bool RunKeyPath(int row, int view, RunKeySpelling spelling, char16_t (&out)[N]) {
  return RunKeyPath(row, view, spelling, out, N);
}

// Where a key path belongs in the table.
struct RunKeyPlace {
  int row = -1;
  int view = kNativeView;
  RunKeySpelling spelling = RunKeySpelling::kCurrent;
};

// Finds the row, view and spelling whose key path is root\path (compared
// ignoring case). Former spellings count only when acceptFormer is set.
bool FindRunKey(HKEY root, const char16_t* path, bool acceptFormer, RunKeyPlace* place);

// "HKEY_LOCAL_MACHINE" and so on for the four predefined roots; empty for any
// other handle.
const char16_t* RootKeyText(HKEY root);
