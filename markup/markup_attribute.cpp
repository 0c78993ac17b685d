// SetChildAttribute: finds an attribute in the current child's start tag and
// replaces its value, or adds the attribute after the last one.
#include <algorithm>

#include "markup/markup_doc.h"
#include "markup/markup_text.h"

using markup_text::AppendEscaped;
using markup_text::IsTagNameEnd;
using markup_text::IsWhite;

namespace {

enum class AttributeToken { kToken, kEnd, kUnclosedQuote };

bool IsAttributeDelimiter(char16_t c, bool afterEquals) {
  if (IsWhite(c) || c == u'>') return true;
  return !afterEquals && (c == u'=' || c == u'/' || c == u'?');
}

// Reads one token of a start tag that ends before limit. Quoted values run to
// the same quote and their range leaves the quotes out.
AttributeToken ReadAttributeToken(TokenCursor& cursor, int32_t limit, bool afterEquals) {
  const char16_t* s = cursor.text;
  int32_t pos = cursor.next;
  while (pos < limit && IsWhite(s[pos])) ++pos;
  if (pos >= limit) return AttributeToken::kEnd;
  const char16_t first = s[pos];
  if (first == u'"' || first == u'\'') {
    int32_t close = pos + 1;
    while (close < limit && s[close] != first) ++close;
    if (close >= limit) return AttributeToken::kUnclosedQuote;
    cursor.nameStart = pos + 1;
    cursor.nameEnd = close - 1;
    cursor.next = close + 1;
    cursor.flags |= TokenCursor::kQuoted;
    return AttributeToken::kToken;
  }
  cursor.flags &= ~TokenCursor::kQuoted;
  cursor.nameStart = pos;
  while (pos < limit && !IsAttributeDelimiter(s[pos], afterEquals)) {
    // An unquoted value stops before the "/>" that closes an empty element,
    // so that replacing it never takes the '/' along.
    if (afterEquals && s[pos] == u'/' && pos + 1 < limit && s[pos + 1] == u'>') break;
    ++pos;
  }
  if (pos == cursor.nameStart) ++pos;
  cursor.next = pos;
  cursor.nameEnd = pos - 1;
  return AttributeToken::kToken;
}

// The search reads quotes only where a token starts, the tokenizer wherever
// they stand; in a start tag that mixes them oddly (a quote inside a name or
// an unquoted value) the two can disagree. The edit is kept only if the
// tokenizer would read the new start tag as before: the same name, one tag
// ending at its last character, empty ("/>") exactly when it was. The new
// tag is read in place as old text, insert, old text, without a copy.
bool StartTagSurvives(const std::u16string& text, int32_t start, int32_t length, int32_t replaceFrom,
                      int32_t replaceCount, const std::u16string& insert) {
  const size_t from = static_cast<size_t>(start);
  const size_t tagEnd = from + static_cast<size_t>(length);
  size_t nameEnd = from + 1;
  while (nameEnd < tagEnd && !IsTagNameEnd(text[nameEnd])) ++nameEnd;
  if (static_cast<size_t>(replaceFrom) < nameEnd) return false;

  const size_t cut = static_cast<size_t>(replaceFrom);
  const size_t resume = cut + static_cast<size_t>(replaceCount);
  const size_t newLength = static_cast<size_t>(length) - static_cast<size_t>(replaceCount) + insert.size();
  auto at = [&](size_t i) -> char16_t {  // character i of the new tag, counted from its '<'
    if (from + i < cut) return text[from + i];
    const size_t intoInsert = from + i - cut;
    if (intoInsert < insert.size()) return insert[intoInsert];
    return text[resume + intoInsert - insert.size()];
  };
  bool inDouble = false;
  bool inSingle = false;
  for (size_t i = nameEnd - from; i < newLength; ++i) {
    const char16_t c = at(i);
    if (c == u'>' && !inDouble && !inSingle) {
      if (i + 1 != newLength) return false;
      const bool wasEmpty = text[tagEnd - 2] == u'/';
      return wasEmpty == (at(i - 1) == u'/');
    }
    if (c == u'"' && !inSingle)
      inDouble = !inDouble;
    else if (c == u'\'' && !inDouble)
      inSingle = !inSingle;
  }
  return false;
}

}  // namespace

bool MarkupDoc::SetChildAttribute(const std::u16string& name, const std::u16string& value) {
  if (childPos_ == 0 || nodeType_ != 1) return false;
  const int32_t element = childPos_;

  // The search never leaves the start tag: a quote that the start tag does
  // not close refuses the edit rather than splice text after the tag.
  TokenCursor cursor;
  cursor.text = text_.data();
  cursor.textLength = static_cast<int32_t>(text_.size());
  const ElementEntry& entry = Entry(element);
  const int32_t limit = static_cast<int32_t>(
      std::min<int64_t>(static_cast<int64_t>(entry.start) + entry.StartTagLength(), cursor.textLength));
  cursor.next = entry.start + 1;
  if (ReadAttributeToken(cursor, limit, false) != AttributeToken::kToken) return false;  // the tag name

  int32_t replaceFrom = -1;
  int32_t replaceCount = 0;
  bool expectValue = false;
  bool nameMatched = false;
  for (;;) {
    const int32_t scanStart = cursor.next;
    if (ReadAttributeToken(cursor, limit, expectValue) != AttributeToken::kToken) return false;
    const bool quoted = (cursor.flags & TokenCursor::kQuoted) != 0;
    const char16_t first = text_[static_cast<size_t>(cursor.nameStart)];
    if (!quoted && (first == u'/' || first == u'>' || first == u'?')) {
      cursor.next = scanStart;
      break;
    }
    if (expectValue) {
      if (nameMatched) {
        replaceFrom = quoted ? cursor.nameStart - 1 : cursor.nameStart;
        replaceCount = cursor.next - replaceFrom;
        break;
      }
      expectValue = false;
      continue;
    }
    if (!quoted && first == u'=' && cursor.nameEnd == cursor.nameStart) {
      expectValue = true;
      continue;
    }
    // An attribute name; a name written without '=' and value is not taken
    // as found, so the attribute is then added anew.
    nameMatched = cursor.NameMatches(name);
  }

  // The value text: the escaped value in double quotes, after " name=" when
  // the attribute is new.
  std::u16string insert;
  insert.reserve(name.size() + value.size() + value.size() / 10 + 8);
  if (replaceFrom < 0) {
    insert += u' ';
    insert += name;
    insert += u'=';
    replaceFrom = cursor.next;
    replaceCount = 0;
  }
  insert += u'"';
  AppendEscaped(insert, value);
  insert += u'"';
  const int32_t difference = static_cast<int32_t>(insert.size()) - replaceCount;
  if (static_cast<int64_t>(entry.StartTagLength()) + difference >= ElementEntry::kStartTagLimit) return false;
  if (!StartTagSurvives(text_, entry.start, entry.StartTagLength(), replaceFrom, replaceCount, insert)) return false;
  if (!ReplaceText(replaceFrom, replaceCount, insert)) return false;
  ElementEntry& changed = Entry(element);
  changed.SetStartTagLength(changed.StartTagLength() + difference);
  changed.length += difference;
  ShiftPositions(element, difference);
  return true;
}
