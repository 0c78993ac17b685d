// The eleven Run-type keys. A row's index is the source index ("type") of
// every value read from it; repair and deletion by name find a value's key
// again through the same row. "Polices" is the key this module reads.
#pragma once

#include "platform/win32_types.h"

struct RunKeyRow {
  HKEY root;
  const char16_t* path;  // at most 255 characters
};

constexpr int kRunKeyCount = 11;

// Defined as a table in run_key_table.cpp.
extern const RunKeyRow kRunKeyTable[kRunKeyCount];

// "HKEY_LOCAL_MACHINE" and so on for the four predefined roots; empty for any
// other handle.
const char16_t* RootKeyText(HKEY root);
