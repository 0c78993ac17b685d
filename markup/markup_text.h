// Character classes and message formatting shared by the markup engine.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/wtext.h"

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

// True for a UTF-16 unit that XML 1.0 allows on its own: tab, line feed,
// carriage return, U+0020-U+D7FF and U+E000-U+FFFD (surrogates are judged
// in pairs by AppendEscaped).
inline bool IsXmlChar(char16_t c) {
  return c == u'\t' || c == u'\n' || c == u'\r' || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD);
}

// Appends value as an attribute value of a well-formed document, whatever
// the value holds:
//   - the five characters that XML reserves as entities: "&lt;", "&amp;",
//     "&gt;", "&apos;", "&quot;";
//   - tab, line feed and carriage return as character references, so that a
//     reader's attribute-value normalisation does not turn them into spaces;
//   - every unit XML 1.0 forbids (control characters, a surrogate that is
//     not half of a pair, U+FFFE and U+FFFF) as U+FFFD, the replacement
//     character: one such unit must not make the whole document unreadable.
inline void AppendEscaped(std::u16string& out, const std::u16string& value) {
  const size_t length = value.size();
  for (size_t i = 0; i < length; ++i) {
    const char16_t c = value[i];
    switch (c) {
      case u'<': out += u"&lt;"; continue;
      case u'&': out += u"&amp;"; continue;
      case u'>': out += u"&gt;"; continue;
      case u'\'': out += u"&apos;"; continue;
      case u'"': out += u"&quot;"; continue;
      case u'\t': out += u"&#9;"; continue;
      case u'\n': out += u"&#10;"; continue;
      case u'\r': out += u"&#13;"; continue;
      default: break;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && value[i + 1] >= 0xDC00 &&
        value[i + 1] <= 0xDFFF) {
      out.push_back(c);
      out.push_back(value[++i]);
    } else {
      out.push_back(IsXmlChar(c) ? c : static_cast<char16_t>(0xFFFD));
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

// UTF-16 to UTF-8 as WideCharToMultiByte(CP_UTF8, 0) converts (pairs of
// surrogates become one 4-byte sequence, an unpaired surrogate U+FFFD); the
// length counts units, so text with embedded zeros converts whole.
inline std::string ToUtf8(const char16_t* text, size_t length) {
  return wtext::ToUtf8(std::u16string(text, length));
}

// UTF-8 to UTF-16, for the runtime's error texts.
inline std::u16string FromUtf8(const char* text) { return wtext::FromUtf8(text == nullptr ? "" : text); }

}  // namespace markup_text
