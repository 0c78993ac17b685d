// The values of a Run-type key read whole, whatever the length of their
// names and data, and the one rule that finds the value a cut name stands
// for. The scanner, repair, deletion by name and the remote operations all
// go through here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"

// Opens root\path in the native view: KEY_WOW64_64KEY is added to access.
LONG OpenRunKey(HKEY root, const char16_t* path, REGSAM access, HKEY* key);

// One value: its full name and its data as text (the units up to the first
// zero unit, or all of them).
struct RunValue {
  std::u16string name;
  std::u16string text;
  // The read's buffers, kept from one value to the next of a walk so that
  // each read does not make (and zero) them anew.
  std::vector<char16_t> nameBuffer;
  std::vector<BYTE> dataBuffer;
};

// Reads value index of key whole. ERROR_NO_MORE_ITEMS past the last value;
// another error when this value cannot be read (the walk goes on).
LONG ReadRunValueAt(HKEY key, DWORD index, RunValue* value);

// The data of the value of exactly this name, whole and as stored, with its
// type. ERROR_FILE_NOT_FOUND when there is no such value; another error when
// it cannot be read.
LONG ReadRunValueBytes(HKEY key, const char16_t* name, std::vector<BYTE>* data, DWORD* type);

// The data of the value of exactly this name as text; false when there is
// no such value or it cannot be read.
bool ReadRunValueText(HKEY key, const char16_t* name, std::u16string* text);

// True when text begins with prefix (an empty prefix matches anything): the
// command line a record holds is compared over the length it holds.
bool TextBeginsWith(const std::u16string& text, const char16_t* prefix);

// A name that fills a record's name field exactly (259 characters, 127 in
// the check-only edition) may have been cut to fit, and stand for a longer
// one.
bool MayBeCutName(const char16_t* name);

enum class NameMatch { kFound, kNone, kAmbiguous, kUnreadable };

// The full name of the value that name stands for in key: the value of
// exactly that name; else, when the name may be cut, the one value whose
// name begins with it (ignoring case) and — when dataPrefix is not null —
// whose data begins with dataPrefix. kAmbiguous when more than one value
// would do, kUnreadable when the key could not be read: nothing may then be
// acted on.
NameMatch ResolveRunValueName(HKEY key, const char16_t* name, const char16_t* dataPrefix,
                              std::u16string* fullName);
