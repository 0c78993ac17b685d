// The scanner of one Run-type key.
#pragma once

#include <cstdint>

#include "knowledge/scan_context.h"
#include "platform/win32_types.h"

// Appends the values of one key (never its sub-keys), opened in the native
// view; the source index is recorded as each item's type and keyPath as its
// sub-key, so every item names the key it was read from.
//
// Some keys are shared between the registry views (Windows and Wine link
// the 32-bit view's path to the native key, e.g. the policy keys): the same
// value then appears under both paths. When scanning a 32-bit view, pass
// the inventory range of its native view as nativeBegin/nativeEnd; a value
// whose name and command line equal an item there is not listed twice.
int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context,
               int nativeBegin = 0, int nativeEnd = 0);
