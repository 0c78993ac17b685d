// The case mapping that every case-insensitive comparison of the module uses
// (registry names, file names, lstrcmpiW on Linux, knowledge-base keys).
//
// It maps a UTF-16 unit to one form of its case, as the system's registry
// compares names: Windows compares simple upper-case forms (the Windows
// backend asks the system); Wine's server compares and sorts by the
// lower-case table of its l_intl.nls, which the Linux backend uses, so two
// names are one exactly when they are one for Wine (dotless i, long s,
// final sigma and the Kelvin sign decide as there). Units without a
// single-unit form of the other case map to themselves, so two texts
// compare equal ignoring case exactly when their mapped units are equal.
#pragma once

namespace platform {

char16_t FoldCaseForCompare(char16_t c);

// Compares two zero-terminated texts unit by unit after FoldCaseForCompare:
// -1, 0 or 1. Null counts as empty.
int CompareFolded(const char16_t* a, const char16_t* b);
// Same over counted texts (no terminator needed).
int CompareFolded(const char16_t* a, unsigned long aLength, const char16_t* b,
                  unsigned long bLength);

// How lstrcmpiW of this system weighs one unit, so that names it calls equal
// always share a lookup key: kFolded with the unit to key on in *folded,
// kIgnored when the unit weighs nothing in the comparison, kUndecided when
// its weight depends on the user's locale (such a name must be compared with
// every entry instead).
enum class NameKeyUnit { kFolded, kIgnored, kUndecided };
NameKeyUnit FoldForNameKey(char16_t c, char16_t* folded);

}  // namespace platform
