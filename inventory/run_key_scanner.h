// The scanner of one Run-type key.
#pragma once

#include <cstdint>

#include "knowledge/scan_context.h"
#include "platform/win32_types.h"

// Appends the values of one key (never its sub-keys), opened in the native
// view; the source index is recorded as each item's type and keyPath as its
// sub-key, so every item names the key it was read from.
int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context);
