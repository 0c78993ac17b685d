// Parse: builds the element index from the text in one pass over its tokens.
// The parser never stops early: it keeps the first problem it meets and
// carries on, closing elements that never end where the text shows they must.
#include <algorithm>

#include "markup/markup_doc.h"
#include "markup/markup_text.h"

using markup_text::Format;

namespace {

std::u16string CursorName(const TokenCursor& cursor) {
  if (cursor.nameEnd < cursor.nameStart) return std::u16string();
  return std::u16string(cursor.text + cursor.nameStart,
                        static_cast<size_t>(cursor.nameEnd - cursor.nameStart + 1));
}

uint32_t LevelBits(int32_t depth) {
  // Deeper nesting than the level field holds is recorded as its maximum, so
  // that it never spills into the flag bits.
  return static_cast<uint32_t>(std::min<int32_t>(depth, ElementEntry::kLevelMask));
}

}  // namespace

bool MarkupDoc::Parse() {
  parentPos_ = currentPos_ = childPos_ = 0;
  nodeType_ = 0;
  std::u16string onEntry;
  onEntry.swap(errorText_);

  elementCount_ = 1;
  if (text_.size() > kMaxTextLength) {
    // Offsets are 32-bit; such a text cannot be indexed.
    GrowElements(8);
    Entry(0) = ElementEntry{};
    Entry(0).flagsLevel = ElementEntry::kIllFormed;
    errorText_ = u"Document too large";
  } else {
    GrowElements(static_cast<int32_t>(text_.size() / 64 + 8));
    Entry(0) = ElementEntry{};
    if (text_.empty()) {
      errorText_ = u"Empty document";
    } else {
      const int32_t first = BuildTable();
      ElementEntry& document = Entry(0);
      document.length = static_cast<int32_t>(text_.size());
      if (first == 0) {
        errorText_ = u"No root element";
      } else {
        document.firstChild = first;
        if (Entry(first).next != 0) errorText_ = u"Root element has sibling";
      }
    }
  }

  parentPos_ = currentPos_ = childPos_ = 0;
  nodeType_ = 0;
  if (!onEntry.empty()) {
    if (errorText_.empty())
      errorText_.swap(onEntry);
    else
      errorText_ = onEntry + u", " + errorText_;
  }
  const ElementEntry& document = Entry(0);
  return (document.flagsLevel & ElementEntry::kIllFormed) == 0 && document.firstChild != 0 &&
         Entry(document.firstChild).next == 0;
}

void MarkupDoc::LinkLastChild(int32_t parent, int32_t element) {
  ElementEntry& entry = Entry(element);
  ElementEntry& up = Entry(parent);
  entry.parent = parent;
  entry.next = 0;
  if (up.firstChild != 0) {
    ElementEntry& first = Entry(up.firstChild);
    const int32_t last = first.prev;
    Entry(last).next = element;
    first.prev = element;
    entry.prev = last;
    entry.flagsLevel = 0;
  } else {
    up.firstChild = element;
    entry.prev = element;
    entry.flagsLevel = ElementEntry::kFirstChild;
  }
}

void MarkupDoc::MarkError(int32_t innermost) {
  Entry(0).flagsLevel |= ElementEntry::kIllFormed;
  Entry(innermost).flagsLevel |= ElementEntry::kInnerError;
}

// Closes the innermost open element as one without an end tag: it keeps
// only its start tag, and its children become the siblings that follow it.
void MarkupDoc::CloseUnended(int32_t element) {
  Entry(0).flagsLevel |= ElementEntry::kIllFormed;
  ElementEntry& entry = Entry(element);
  const int32_t parent = entry.parent;
  entry.SetEndTagLength(0);
  entry.flagsLevel |= ElementEntry::kNotEnded;
  entry.length = entry.StartTagLength();
  if (entry.flagsLevel & ElementEntry::kInnerError) {
    entry.flagsLevel &= ~ElementEntry::kInnerError;
    Entry(parent).flagsLevel |= ElementEntry::kInnerError;
  }
  const int32_t first = entry.firstChild;
  if (first != 0) {
    // The element is its parent's last child (everything created after it
    // was created inside it), so its children simply continue the chain.
    const int32_t last = Entry(first).prev;
    for (int32_t child = first; child != 0; child = Entry(child).next) Entry(child).parent = parent;
    Entry(first).flagsLevel &= ~ElementEntry::kFirstChild;
    Entry(first).prev = element;
    entry.next = first;
    entry.firstChild = 0;
    Entry(Entry(parent).firstChild).prev = last;
  }
}

int32_t MarkupDoc::BuildTable() {
  if (openTags_.size() < 6) openTags_.resize(6);
  int32_t depth = 0;
  int32_t innermost = 0;
  int32_t first = 0;

  TokenCursor cursor;
  cursor.text = text_.data();
  cursor.textLength = static_cast<int32_t>(text_.size());
  cursor.next = 0;
  cursor.nameStart = 0;
  cursor.nameEnd = -1;

  // Pops the innermost open element as unended; the message is only built
  // when it becomes the document's first problem.
  auto closeInnermost = [&](bool atEnd, int32_t endStart) {
    const int32_t element = innermost;
    CloseUnended(element);
    if (errorText_.empty()) {
      const NodeToken& open = openTags_[static_cast<size_t>(depth - 1)];
      const int32_t start = Entry(element).start;
      errorText_ = atEnd ? Format(u"Element '%s' at offset %d not ended", open.text, start)
                         : Format(u"End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                                  CursorName(cursor), endStart + 1, open.text, start);
    }
    --depth;
    innermost = Entry(element).parent;
  };
  auto reportError = [&](auto&& message) {
    MarkError(innermost);
    if (errorText_.empty()) errorText_ = message();
  };

  for (;;) {
    if (static_cast<size_t>(depth) + 1 >= openTags_.size()) openTags_.resize(2 * openTags_.size() + 6);
    NodeToken& token = openTags_[static_cast<size_t>(depth)];
    const int32_t type = ReadNodeToken(cursor, token);

    if (type == NodeToken::kElement) {
      if (token.length >= ElementEntry::kStartTagLimit) {
        reportError([&] { return Format(u"Element tag at offset %d too long", token.start); });
        continue;
      }
      if (elementCount_ == capacity_) GrowElements(0);
      const int32_t index = elementCount_++;
      if (first == 0) first = index;
      LinkLastChild(innermost, index);
      ElementEntry& entry = Entry(index);
      entry.flagsLevel |= LevelBits(depth);
      entry.firstChild = 0;
      entry.start = token.start;
      entry.tagLengths = 0;
      entry.SetStartTagLength(token.length);
      entry.length = token.length;
      if ((token.nodeFlags & NodeToken::kClosedEmpty) == 0) {
        ++depth;
        innermost = index;
      }
    } else if (type == NodeToken::kEndTag) {
      if (token.length >= ElementEntry::kEndTagLimit) {
        reportError([&] { return Format(u"Element end tag at offset %d too long", token.start); });
        continue;
      }
      int32_t level = depth - 1;
      int32_t match = innermost;
      while (level >= 0 && !cursor.NameMatches(openTags_[static_cast<size_t>(level)].text)) {
        --level;
        match = Entry(match).parent;
      }
      if (level < 0) {
        reportError([&] {
          return Format(u"No start tag for end tag '%s' at offset %d", CursorName(cursor), token.start);
        });
        continue;
      }
      ElementEntry& matched = Entry(match);
      matched.length = token.start + token.length - matched.start;
      matched.SetEndTagLength(token.length);
      const int32_t endStart = token.start;
      while (depth - 1 > level) closeInnermost(false, endStart);
      --depth;
      innermost = Entry(match).parent;
    } else if (type == NodeToken::kError) {
      reportError([&] { return token.text; });
    } else if (type == NodeToken::kEndOfText) {
      while (depth > 0) closeInnermost(true, 0);
      return first;
    }
    // Text, whitespace, CDATA, instructions, comments and document types
    // leave no trace in the index.
  }
}
