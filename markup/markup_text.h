// Character classes and message formatting shared by the markup engine.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace markup_text {

// " \t\n\r"
inline bool IsWhite(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// Ends a tag name in the tokenizer: " \t\n\r/>".
inline bool IsTagNameEnd(char16_t c) { return IsWhite(c) || c == u'/' || c == u'>'; }

// Delimiters of the name scan: whitespace and "<>=\/?!".
inline bool IsNameDelimiter(char16_t c) {
  switch (c) {
    case u' ': case u'\t': case u'\n': case u'\r': case u'<': case u'>':
    case u'=': case u'\\': case u'/': case u'?': case u'!':
      return true;
    default:
      return false;
  }
}

// Appends value with the five characters that XML reserves written as
// entities: "&lt;", "&amp;", "&gt;", "&apos;", "&quot;".
inline void AppendEscaped(std::u16string& out, const std::u16string& value) {
  for (char16_t c : value) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'': out += u"&apos;"; break;
      case u'"': out += u"&quot;"; break;
      default: out.push_back(c); break;
    }
  }
}

// One argument of Format: a text for %s or a number for %d.
struct Arg {
  Arg(const char16_t* s) : text(s) {}
  Arg(const std::u16string& s) : text(s) {}
  Arg(int32_t n) : text(Decimal(n)) {}
  Arg(int64_t n) : text(Decimal(n)) {}
  std::u16string text;

  static std::u16string Decimal(int64_t n) {
    char16_t digits[24];
    int count = 0;
    uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    do {
      digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    std::u16string out;
    if (n < 0) out.push_back(u'-');
    while (count > 0) out.push_back(digits[--count]);
    return out;
  }
};

// Replaces each "%s" or "%d" of pattern by the next argument, in order.
inline std::u16string FormatArgs(const char16_t* pattern, std::initializer_list<Arg> args) {
  std::u16string out;
  auto next = args.begin();
  for (const char16_t* p = pattern; *p != 0; ++p) {
    if (p[0] == u'%' && (p[1] == u's' || p[1] == u'd') && next != args.end()) {
      out += next->text;
      ++next;
      ++p;
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

template <typename... Args>
std::u16string Format(const char16_t* pattern, const Args&... args) {
  return FormatArgs(pattern, {Arg(args)...});
}

// UTF-16 to UTF-8 as WideCharToMultiByte(CP_UTF8, 0) converts: pairs of
// surrogates become one 4-byte sequence, an unpaired surrogate becomes
// U+FFFD.
inline std::string ToUtf8(const char16_t* text, size_t length) {
  std::string out;
  out.reserve(length + length / 2);
  for (size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// UTF-8 to UTF-16; a byte that does not start a valid sequence becomes
// U+FFFD. Used for the runtime's error texts.
inline std::u16string FromUtf8(const char* text) {
  std::u16string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    unsigned char b = *p;
    char32_t c;
    int extra;
    if (b < 0x80) { c = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
    else { out.push_back(0xFFFD); ++p; continue; }
    int i = 1;
    for (; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) break;
      c = (c << 6) | (p[i] & 0x3F);
    }
    if (i <= extra || c > 0x10FFFF) { out.push_back(0xFFFD); ++p; continue; }
    p += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace markup_text
