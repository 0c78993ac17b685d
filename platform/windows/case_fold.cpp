// Case folding on Windows: the system's own upper-case mapping of one unit,
// so that the module's case-insensitive comparisons agree with the registry
// and the file system of the machine it runs on.
#include "platform/case_fold.h"

#include "platform/platform.h"
#include "platform/windows/wide.h"

namespace platform {

char16_t FoldCaseForCompare(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
  // A lone surrogate has no case; the system would leave it as it is too.
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wchar_t unit = static_cast<wchar_t>(c);
  ::CharUpperBuffW(&unit, 1);
  return static_cast<char16_t>(unit);
}

NameKeyUnit FoldForNameKey(char16_t c, char16_t* folded) {
  // The system's lstrcmpiW compares by the user's locale: letters outside
  // ASCII may equal other letters or letter pairs (ligatures, width forms),
  // control characters weigh nothing, and some collations pass over the
  // hyphen and the apostrophe. Printable ASCII is decided by its letter case
  // alone once those two marks are left out of the key.
  if (c < 0x20 || c > 0x7E) return NameKeyUnit::kUndecided;
  if (c == u'-' || c == u'\'') return NameKeyUnit::kIgnored;
  *folded = (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
  return NameKeyUnit::kFolded;
}

}  // namespace platform
