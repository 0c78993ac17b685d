// The scanner of one Run-type key.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "knowledge/scan_context.h"
#include "platform/win32_types.h"

// The values listed from a row's native view, by name and command line as
// their records hold them. Some keys are shared between the registry views
// (Windows and Wine link the 32-bit view's path to the native key, e.g. the
// policy keys): the same value then appears under both paths, and a value
// of the 32-bit view equal (name ignoring case, command line exactly) to
// one listed from the native view is not listed twice.
class NativeViewValues {
 public:
  void Add(const _RunData& item);
  bool Contains(const _RunData& item) const;

 private:
  std::vector<std::pair<std::u16string, std::u16string>> values_;
};

// Appends the values of one key (never its sub-keys), opened in the native
// view; the source index is recorded as each item's type and keyPath as its
// sub-key, so every item names the key it was read from. Scanning a row's
// native view, each listed value is added to native; scanning its 32-bit
// view, a value native holds is passed over.
int ScanRunKey(HKEY root, const char16_t* keyPath, int32_t sourceIndex, ScanContext& context,
               NativeViewValues& native, int view);
