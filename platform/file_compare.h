// Whether a file about to be overwritten by a move holds the same bytes as
// the file being moved, so that a move never destroys a different file.
#pragma once

namespace platform {

enum class TargetState {
  kAbsent,     // nothing at the target path
  kIdentical,  // a file with exactly the source's bytes (an earlier copy)
  kDifferent,  // another file, or something that cannot be compared
};

// Reads both files through CreateFileW and ReadFile.
TargetState CompareMoveTarget(const char16_t* source, const char16_t* target);

// True when both paths name one existing file (same volume and file index),
// however differently they are spelt: the file system may fold case further
// than any string comparison here. False when either cannot be opened.
bool IsSameFile(const char16_t* a, const char16_t* b);

}  // namespace platform
