// UTF-16 text helpers for fixed, zero-terminated buffers. Every copy is
// bounded by the destination's capacity in units (terminator included) and
// always leaves the destination terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wtext {

// Units before the terminator.
size_t Length(const char16_t* text);
// Units before the terminator, reading at most `limit` units.
size_t LengthBounded(const char16_t* text, size_t limit);

// Copies at most capacity-1 units and terminates; returns false when the
// source had to be cut. capacity 0 writes nothing.
bool Copy(char16_t* destination, size_t capacity, const char16_t* source);
bool Copy(char16_t* destination, size_t capacity, const std::u16string& source);
template <size_t N>
bool Copy(char16_t (&destination)[N], const char16_t* source) {
  return Copy(destination, N, source);
}
template <size_t N>
bool Copy(char16_t (&destination)[N], const std::u16string& source) {
  return Copy(destination, N, source);
}
// Appends within the same bound; false (destination unchanged) when the
// result would not fit.
bool Append(char16_t* destination, size_t capacity, const char16_t* source);
template <size_t N>
bool Append(char16_t (&destination)[N], const char16_t* source) {
  return Append(destination, N, source);
}
// True when source (with its terminator) fits capacity units.
bool Fits(const char16_t* source, size_t capacity);

// Exact comparison, as wcscmp.
int Compare(const char16_t* a, const char16_t* b);
bool Equal(const char16_t* a, const char16_t* b);
// Comparison ignoring letter case as lstrcmpiW does (platform::lstrcmpiW).
int CompareNoCase(const char16_t* a, const char16_t* b);
// Comparison ignoring case as _wcsicmp does (simple upper-casing per unit).
int CompareNoCaseSimple(const char16_t* a, const char16_t* b);
// wcsstr: first occurrence of needle in haystack, or null; an empty needle
// is found at the start.
const char16_t* Find(const char16_t* haystack, const char16_t* needle);
const char16_t* FindChar(const char16_t* text, char16_t c);
const char16_t* FindLastChar(const char16_t* text, char16_t c);

// Conversions (invalid input is replaced by U+FFFD, never read past).
std::u16string FromUtf8(const std::string& utf8);
// The same conversion of n bytes, appended to *out (which keeps its room).
void AppendFromUtf8(const char* utf8, size_t n, std::u16string* out);
// True when every byte belongs to a shortest-form UTF-8 character (no
// overlong form, surrogate or stray byte): the text round-trips.
bool IsValidUtf8(const std::string& utf8);
std::string ToUtf8(const std::u16string& text);
std::string ToUtf8(const char16_t* text);

// Decimal formatting as "%d" and "%I64d" do.
std::u16string FromInt(int64_t value);
// "%0Nd" for non-negative values: zero-padded to at least width digits.
std::u16string FromIntPadded(int64_t value, int width);

}  // namespace wtext
