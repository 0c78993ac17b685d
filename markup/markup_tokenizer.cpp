// The tokenizer: one pass over the text as an explicit state machine. Each
// call scans one node token; nothing is allocated except when a tag name is
// longer than any the token's string has held before.
#include <cstring>

#include "markup/markup_doc.h"
#include "markup/markup_text.h"

namespace {

using markup_text::IsNameDelimiter;
using markup_text::IsTagNameEnd;
using markup_text::IsWhite;

// Where the scanner stands inside the current token.
enum class TokenState {
  kStart,           // nothing read yet
  kWhitespace,      // only whitespace so far
  kAfterLt,         // just after '<'
  kAfterBang,       // just after "<!"
  kAfterBangDash,   // just after "<!-"
  kAfterBangBracket,  // just after "<!["
  kInConstruct,     // inside a tag, comment, CDATA, instruction or text: an end marker is pending
  kDoctypeBody,     // inside a document type declaration, outside any markup in it
};

// The pending end marker; only its length and leading characters matter,
// its last character is always '>' except for text, which has none that
// ends it by itself.
struct EndMarker {
  int32_t length;
  const char16_t* lead;  // the characters that must precede the closing '>'
};
constexpr EndMarker kMarkerLt{1, u""};         // text: ends before '<' (or at '>')
constexpr EndMarker kMarkerGt{1, u""};         // tags
constexpr EndMarker kMarkerPi{2, u"?"};        // "?>"
constexpr EndMarker kMarkerComment{3, u"--"};  // "-->"
constexpr EndMarker kMarkerCData{3, u"]]"};    // "]]>"

const char16_t* UnterminatedKind(int32_t type, bool inDoctype) {
  if (inDoctype || type == NodeToken::kDoctype) return u"Doctype";
  switch (type) {
    case NodeToken::kElement: return u"Element tag";
    case NodeToken::kEndTag: return u"Element end tag";
    case NodeToken::kCData: return u"CDATA Section";
    case NodeToken::kProcessingInstruction: return u"Processing instruction";
    case NodeToken::kComment: return u"Comment";
    default: return u"tag";
  }
}

void SetIncorrect(NodeToken& token, const char16_t* what, int32_t offset) {
  token.text = markup_text::Format(u"Incorrect %s at offset %d", what, offset);
}

// Inside a construct only a few characters can change anything: '>' always,
// '<' in text and bad tags, quotes in start tags. Returns the offset of the
// next such character at or after pos (or the end of the text).
int32_t SkipOrdinary(const char16_t* s, int32_t pos, int32_t textLength, int32_t type) {
  if (type == NodeToken::kElement) {
    while (pos < textLength && s[pos] != u'>' && s[pos] != u'"' && s[pos] != u'\'') ++pos;
  } else if (type == NodeToken::kText || type == NodeToken::kError) {
    while (pos < textLength && s[pos] != u'>' && s[pos] != u'<') ++pos;
  } else {
    while (pos < textLength && s[pos] != u'>') ++pos;
  }
  return pos;
}

bool LeadMatches(const char16_t* text, int32_t gt, const EndMarker& marker) {
  const int32_t leadLength = marker.length - 1;
  for (int32_t i = 0; i < leadLength; ++i)
    if (text[gt - leadLength + i] != marker.lead[i]) return false;
  return true;
}

}  // namespace

bool TokenCursor::ScanName() {
  int32_t pos = next;
  while (pos < textLength && IsWhite(text[pos])) ++pos;
  if (pos >= textLength) {
    nameStart = next = pos;
    nameEnd = pos - 1;
    return false;
  }
  nameStart = pos;
  while (pos < textLength && !IsNameDelimiter(text[pos])) ++pos;
  if (pos == nameStart) ++pos;  // a delimiter is a token of its own
  next = pos;
  nameEnd = pos - 1;
  return true;
}

bool TokenCursor::NameMatches(const char16_t* name, size_t nameLength) const {
  const int32_t length = nameEnd - nameStart + 1;
  if (length < 0 || static_cast<size_t>(length) > nameLength) return false;
  if (length > 0 && std::memcmp(text + nameStart, name, sizeof(char16_t) * static_cast<size_t>(length)) != 0)
    return false;
  if (static_cast<size_t>(length) == nameLength) return true;
  const char16_t after = name[length];
  return after == u' ' || after == u'=' || after == u'/' || after == u'[' || after == u']';
}

int32_t ReadNodeToken(TokenCursor& cursor, NodeToken& token) {
  const char16_t* const s = cursor.text;
  const int32_t textLength = cursor.textLength;
  const int32_t start = cursor.next;
  token.start = start;
  token.nodeFlags = 0;
  token.type = NodeToken::kError;
  token.text.clear();
  if (start >= textLength) {
    token.length = 0;
    token.type = NodeToken::kEndTag;
    return NodeToken::kEndOfText;
  }

  TokenState state = TokenState::kStart;
  EndMarker marker = kMarkerGt;
  bool inDoctype = false;
  bool inDouble = false;
  bool inSingle = false;
  int32_t nameFrom = -1;     // start of the name being collected, -1 when none
  int32_t lastGt = start;    // last '>' met inside a document type declaration
  int32_t end = start;
  int32_t pos = start;

  for (; pos < textLength; ++pos) {
    if (nameFrom >= 0) {
      while (pos < textLength && !IsTagNameEnd(s[pos])) ++pos;
      if (pos >= textLength) break;
      if (token.type == NodeToken::kEndTag) {
        cursor.nameStart = nameFrom;
        cursor.nameEnd = pos - 1;
      } else {
        token.text.assign(s + nameFrom, static_cast<size_t>(pos - nameFrom));
      }
      nameFrom = -1;
    }
    const char16_t ch = s[pos];

    switch (state) {
      case TokenState::kInConstruct:
        if (ch == u'>') {
          if (inDouble || inSingle) continue;
          end = pos;
          if (inDoctype) lastGt = pos;
          bool closes;
          if (marker.length == 1) {
            closes = true;
            if (token.type == NodeToken::kElement && pos > 0 && s[pos - 1] == u'/')
              token.nodeFlags |= NodeToken::kClosedEmpty;
          } else {
            closes = pos > marker.length && LeadMatches(s, pos, marker);
          }
          if (!closes) continue;
          if (inDoctype) {
            state = TokenState::kDoctypeBody;
            continue;
          }
          goto complete;
        }
        if (ch == u'<' && (token.type == NodeToken::kText || token.type == NodeToken::kError)) {
          end = pos - 1;
          goto complete;
        }
        if (token.type == NodeToken::kElement) {
          if (ch == u'"' && !inSingle)
            inDouble = !inDouble;
          else if (ch == u'\'' && !inDouble)
            inSingle = !inSingle;
        }
        pos = SkipOrdinary(s, pos + 1, textLength, token.type) - 1;
        continue;

      case TokenState::kStart:
        if (ch == u'<') {
          state = TokenState::kAfterLt;
        } else if (IsWhite(ch)) {
          token.type = NodeToken::kWhitespace;
          state = TokenState::kWhitespace;
        } else {
          token.type = NodeToken::kText;
          marker = kMarkerLt;
          state = TokenState::kInConstruct;
        }
        continue;

      case TokenState::kWhitespace:
        if (ch == u'<') {
          end = pos - 1;
          token.type = NodeToken::kWhitespace;
          goto complete;
        }
        if (!IsWhite(ch)) {
          token.type = NodeToken::kText;
          marker = kMarkerLt;
          state = TokenState::kInConstruct;
        }
        continue;

      case TokenState::kAfterLt:
        state = TokenState::kInConstruct;
        marker = kMarkerGt;
        if (ch > 0x60 || (ch >= u'A' && ch <= u'Z') || ch == u'_' || ch == u':') {
          token.type = NodeToken::kElement;
          nameFrom = pos;
        } else if (ch == u'/') {
          token.type = NodeToken::kEndTag;
          nameFrom = pos + 1;
        } else if (ch == u'!') {
          state = TokenState::kAfterBang;
        } else if (ch == u'?') {
          token.type = NodeToken::kProcessingInstruction;
          marker = kMarkerPi;
          nameFrom = pos + 1;
        } else {
          SetIncorrect(token, u"tag name character", inDoctype ? lastGt : start);
          token.type = NodeToken::kError;
        }
        continue;

      case TokenState::kAfterBang:
        if (ch == u'-') {
          state = TokenState::kAfterBangDash;
        } else if (ch == u'[' && !inDoctype) {
          state = TokenState::kAfterBangBracket;
        } else if (ch == u'D' && !inDoctype) {
          inDoctype = true;
          state = TokenState::kDoctypeBody;
        } else if (ch == u'E' || ch == u'A' || ch == u'N') {
          // Declarations inside a document type: the declaration's own
          // closing '>' later makes the whole token a document type.
          token.type = NodeToken::kError;
          token.text.clear();
          marker = kMarkerGt;
          state = TokenState::kInConstruct;
        } else {
          SetIncorrect(token, u"! tag", inDoctype ? lastGt : start);
          token.type = NodeToken::kError;
          marker = kMarkerGt;
          state = TokenState::kInConstruct;
        }
        continue;

      case TokenState::kAfterBangDash:
        state = TokenState::kInConstruct;
        if (ch == u'-') {
          token.type = NodeToken::kComment;
          marker = kMarkerComment;
        } else {
          SetIncorrect(token, u"comment tag", inDoctype ? lastGt : start);
          token.type = NodeToken::kError;
          marker = kMarkerGt;
        }
        continue;

      case TokenState::kAfterBangBracket:
        state = TokenState::kInConstruct;
        if (ch == u'C') {
          token.type = NodeToken::kCData;
          marker = kMarkerCData;
        } else {
          SetIncorrect(token, u"tag", inDoctype ? lastGt : start);
          token.type = NodeToken::kError;
          marker = kMarkerGt;
        }
        continue;

      case TokenState::kDoctypeBody:
        if (ch == u'<') {
          state = TokenState::kAfterLt;
        } else if (ch == u'>') {
          token.type = NodeToken::kDoctype;
          end = pos;
          goto complete;
        } else {
          while (pos + 1 < textLength && s[pos + 1] != u'<' && s[pos + 1] != u'>') ++pos;
        }
        continue;
    }
  }

  // The text ended before the token did.
  end = textLength - 1;
  if (!(state == TokenState::kWhitespace ||
        (state == TokenState::kInConstruct && token.type == NodeToken::kText))) {
    token.text = markup_text::Format(u"%s at offset %d unterminated",
                                     UnterminatedKind(token.type, inDoctype), start);
    token.type = NodeToken::kError;
  }

complete:
  cursor.next = end + 1;
  token.length = end + 1 - start;
  return token.type;
}
