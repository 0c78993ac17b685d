// The Windows backend passes text straight through: char16_t and wchar_t are
// both 16-bit UTF-16 code units on Windows, so a buffer of one is a buffer
// of the other.
#pragma once

#include "platform/win32_types.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is 16-bit UTF-16 on Windows");
static_assert(alignof(wchar_t) == alignof(char16_t), "wchar_t and char16_t align alike");

namespace platform {
namespace win32 {

inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

}  // namespace win32
}  // namespace platform
