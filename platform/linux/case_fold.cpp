// Case folding on Linux: a table of the simple upper-case mappings of the
// scripts covered (the Windows backend asks the system instead).
#include "platform/case_fold.h"

namespace platform {

namespace {

// Ranges where upper and lower case alternate: even (or odd) units are upper
// case and the next unit is their lower-case form.
struct AlternatingRange {
  char16_t first;
  char16_t last;
  bool upperIsEven;
};

constexpr AlternatingRange kAlternating[] = {
    {0x0100, 0x012F, true},  {0x0132, 0x0137, true},  {0x0139, 0x0148, false},
    {0x014A, 0x0177, true},  {0x0179, 0x017E, false}, {0x0182, 0x0185, true},
    {0x01A0, 0x01A5, true},  {0x01CD, 0x01DC, false}, {0x01DE, 0x01EF, true},
    {0x01F8, 0x021F, true},  {0x0222, 0x0233, true},  {0x0246, 0x024F, true},
    {0x03D8, 0x03EF, true},  {0x0460, 0x0481, true},  {0x048A, 0x04BF, true},
    {0x04C1, 0x04CE, false}, {0x04D0, 0x052F, true},  {0x1E00, 0x1E95, true},
    {0x1EA0, 0x1EFF, true},
};

// Ranges whose lower-case units lie at a fixed distance above their upper
// case: [lowerFirst, lowerLast] maps to unit - delta.
struct ShiftedRange {
  char16_t lowerFirst;
  char16_t lowerLast;
  char16_t delta;
};

constexpr ShiftedRange kShifted[] = {
    {u'a', u'z', 0x20},      {0x00E0, 0x00F6, 0x20}, {0x00F8, 0x00FE, 0x20},
    {0x03B1, 0x03C1, 0x20},  {0x03C3, 0x03CB, 0x20}, {0x03AD, 0x03AF, 0x25},
    {0x03CD, 0x03CE, 0x3F},  {0x0430, 0x044F, 0x20}, {0x0450, 0x045F, 0x50},
    {0x0561, 0x0586, 0x30},  {0xFF41, 0xFF5A, 0x20},
};

}  // namespace

char16_t FoldCaseForCompare(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
  for (const ShiftedRange& r : kShifted)
    if (c >= r.lowerFirst && c <= r.lowerLast) return char16_t(c - r.delta);
  for (const AlternatingRange& r : kAlternating) {
    if (c < r.first || c > r.last) continue;
    bool even = (c % 2) == 0;
    bool isLower = r.upperIsEven ? !even : even;
    return isLower ? char16_t(c - 1) : c;
  }
  switch (c) {
    case 0x00FF: return 0x0178;  // y with diaeresis
    case 0x017F: return u'S';    // long s
    case 0x0131: return u'I';    // dotless i
    case 0x03C2: return 0x03A3;  // final sigma
    case 0x03AC: return 0x0386;
    case 0x03CC: return 0x038C;
    case 0x04CF: return 0x04C0;
    case 0x0180: return 0x0243;
    case 0x0188: return 0x0187;
    case 0x018C: return 0x018B;
    case 0x0192: return 0x0191;
    case 0x0199: return 0x0198;
    case 0x01A8: return 0x01A7;
    case 0x01AD: return 0x01AC;
    case 0x01B0: return 0x01AF;
    case 0x01B4: return 0x01B3;
    case 0x01B6: return 0x01B5;
    case 0x01B9: return 0x01B8;
    case 0x01BD: return 0x01BC;
    default: return c;
  }
}

// This backend's lstrcmpiW compares unit by unit after FoldCaseForCompare.
NameKeyUnit FoldForNameKey(char16_t c, char16_t* folded) {
  *folded = FoldCaseForCompare(c);
  return NameKeyUnit::kFolded;
}

}  // namespace platform
