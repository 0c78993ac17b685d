#include "platform/wtext.h"

#include "platform/platform.h"

namespace wtext {

size_t Length(const char16_t* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

size_t LengthBounded(const char16_t* text, size_t limit) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

bool Copy(char16_t* destination, size_t capacity, const char16_t* source) {
  if (capacity == 0) return false;
  size_t n = 0;
  bool whole = true;
  if (source != nullptr) {
    while (source[n] != 0) {
      if (n + 1 >= capacity) {
        whole = false;
        break;
      }
      destination[n] = source[n];
      ++n;
    }
  }
  destination[n] = 0;
  return whole;
}

bool Copy(char16_t* destination, size_t capacity, const std::u16string& source) {
  if (capacity == 0) return false;
  size_t n = source.size();
  bool whole = true;
  if (n + 1 > capacity) {
    n = capacity - 1;
    whole = false;
  }
  for (size_t i = 0; i < n; ++i) destination[i] = source[i];
  destination[n] = 0;
  return whole;
}

bool Append(char16_t* destination, size_t capacity, const char16_t* source) {
  size_t have = LengthBounded(destination, capacity);
  size_t add = Length(source);
  if (have >= capacity || have + add + 1 > capacity) return false;
  for (size_t i = 0; i < add; ++i) destination[have + i] = source[i];
  destination[have + add] = 0;
  return true;
}

bool Fits(const char16_t* source, size_t capacity) {
  return LengthBounded(source, capacity) < capacity;
}

int Compare(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(*a) - static_cast<int>(*b);
}

bool Equal(const char16_t* a, const char16_t* b) { return Compare(a, b) == 0; }

int CompareNoCase(const char16_t* a, const char16_t* b) {
  return platform::lstrcmpiW(a == nullptr ? u"" : a, b == nullptr ? u"" : b);
}

static char16_t UpperAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

int CompareNoCaseSimple(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  while (*a != 0 && UpperAscii(*a) == UpperAscii(*b)) {
    ++a;
    ++b;
  }
  return static_cast<int>(UpperAscii(*a)) - static_cast<int>(UpperAscii(*b));
}

const char16_t* Find(const char16_t* haystack, const char16_t* needle) {
  if (haystack == nullptr) return nullptr;
  if (needle == nullptr || *needle == 0) return haystack;
  for (const char16_t* h = haystack; *h != 0; ++h) {
    size_t i = 0;
    while (needle[i] != 0 && h[i] == needle[i]) ++i;
    if (needle[i] == 0) return h;
  }
  return nullptr;
}

const char16_t* FindChar(const char16_t* text, char16_t c) {
  if (text == nullptr) return nullptr;
  for (; *text != 0; ++text)
    if (*text == c) return text;
  return nullptr;
}

const char16_t* FindLastChar(const char16_t* text, char16_t c) {
  const char16_t* last = nullptr;
  if (text == nullptr) return nullptr;
  for (; *text != 0; ++text)
    if (*text == c) last = text;
  return last;
}

std::u16string FromInt(int64_t value) {
  char16_t digits[24];
  int n = 0;
  uint64_t magnitude = value < 0 ? (~static_cast<uint64_t>(value) + 1) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::u16string out;
  if (value < 0) out.push_back(u'-');
  while (n > 0) out.push_back(digits[--n]);
  return out;
}

std::u16string FromIntPadded(int64_t value, int width) {
  std::u16string digits = FromInt(value);
  bool negative = !digits.empty() && digits[0] == u'-';
  if (negative) digits.erase(0, 1);
  while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), u'0');
  if (negative) digits.insert(digits.begin(), u'-');
  return digits;
}

}  // namespace wtext
