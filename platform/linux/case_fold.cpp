// Case folding on Linux: the lower-case table that Wine's server compares
// and sorts registry names with (the Windows backend asks the system, whose
// registry compares upper-case forms).
#include "platform/case_fold.h"

namespace platform {

namespace {

// Wine's lower-case mapping as a three-level table of 16-bit offsets
// (tools/case_table.py makes it from Wine's l_intl.nls).
constexpr unsigned short kLower[] = {
#include "platform/linux/lower_case_table.inc"
};

}  // namespace

char16_t FoldCaseForCompare(char16_t c) {
  const unsigned high = kLower[c >> 8];
  const unsigned middle = kLower[high + ((c >> 4) & 0x0F)];
  return char16_t(c + kLower[middle + (c & 0x0F)]);
}

// This backend's lstrcmpiW compares unit by unit after FoldCaseForCompare.
NameKeyUnit FoldForNameKey(char16_t c, char16_t* folded) {
  *folded = FoldCaseForCompare(c);
  return NameKeyUnit::kFolded;
}

}  // namespace platform
