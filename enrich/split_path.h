// Splitting a path into drive, directory, base name and extension the way
// the C runtime's _wsplitpath_s does, on every target.
#pragma once

#include <cstddef>

// Each part is written into its own buffer of the given capacity in units
// (terminator included); a null buffer means the part is not wanted.
//   drive: "X:" when the second character is a colon;
//   dir:   everything up to and including the last '\' or '/';
//   fname: the rest up to its last dot (the whole rest when it has none);
//   ext:   that last dot and what follows it.
// When a wanted part does not fit its buffer, every wanted buffer is emptied
// and the result is false: no partial path is ever returned, and nothing is
// written past a buffer.
bool SplitPath(const char16_t* path, char16_t* drive, size_t driveUnits, char16_t* dir,
               size_t dirUnits, char16_t* fname, size_t fnameUnits, char16_t* ext,
               size_t extUnits);
