// Comparisons over FoldCaseForCompare, the same on every backend (each
// backend supplies the fold itself).
#include "platform/case_fold.h"

namespace platform {

int CompareFolded(const char16_t* a, unsigned long aLength, const char16_t* b,
                  unsigned long bLength) {
  unsigned long n = aLength < bLength ? aLength : bLength;
  for (unsigned long i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;  // equal units fold alike
    char16_t x = FoldCaseForCompare(a[i]);
    char16_t y = FoldCaseForCompare(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (aLength == bLength) return 0;
  return aLength < bLength ? -1 : 1;
}

int CompareFolded(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  for (;; ++a, ++b) {
    if (*a == *b) {
      if (*a == 0) return 0;
      continue;  // equal units fold alike
    }
    char16_t x = FoldCaseForCompare(*a);
    char16_t y = FoldCaseForCompare(*b);
    if (x != y) return x < y ? -1 : 1;
    if (*a == 0) return 0;
  }
}

}  // namespace platform
