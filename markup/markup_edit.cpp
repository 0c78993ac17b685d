// Editing in place: each edit splices a string into the text and moves the
// start offsets and lengths of the index that the splice affects. An edit
// touches only the elements after it in document order and the lengths of
// its ancestors, so appending to the end of a document costs its depth, not
// its size.
#include <algorithm>
#include <new>

#include "framework/framework_exception.h"
#include "markup/markup_doc.h"
#include "markup/markup_text.h"

using markup_text::IsTagNameEnd;
using markup_text::IsWhite;

namespace {

// The end tag written for a parent gets the name as the name scan reads it,
// which stops at more delimiters ('=', '?', '!', '\\', '<') than the parser's
// start-tag name does. The parser accepts the pair only when the start-tag
// name goes on with nothing or one of " =/[]" after the end tag's name; any
// other such name would leave an end tag that closes nothing.
bool EndTagWouldClose(const std::u16string& text, int32_t start, const std::u16string& endName) {
  size_t nameEnd = static_cast<size_t>(start) + 1;
  while (nameEnd < text.size() && !IsTagNameEnd(text[nameEnd])) ++nameEnd;
  const std::u16string startName = text.substr(static_cast<size_t>(start) + 1, nameEnd - static_cast<size_t>(start) - 1);
  TokenCursor cursor;
  cursor.text = endName.data();
  cursor.textLength = static_cast<int32_t>(endName.size());
  cursor.nameStart = 0;
  cursor.nameEnd = cursor.textLength - 1;
  return cursor.NameMatches(startName);
}

// A new element is written as "<name/>". The name is not escaped, so it is
// taken only if the parser reads that text back as one empty element of
// exactly that name, and the end tag written for it should it get children
// (the name as the name scan reads it) would close it: a name starts with a
// letter, '_', ':' or a character above 0x60, holds none of " \t\n\r/>", and
// the first of "<\\?!=" in it, if any, is '='.
bool ElementNameUsable(const std::u16string& name) {
  if (name.empty()) return false;
  const char16_t first = name[0];
  if (!(first > 0x60 || (first >= u'A' && first <= u'Z') || first == u'_' || first == u':')) return false;
  bool scanStopped = false;
  for (char16_t c : name) {
    if (IsTagNameEnd(c)) return false;
    if (!scanStopped && (c == u'<' || c == u'\\' || c == u'?' || c == u'!')) return false;
    if (c == u'=') scanStopped = true;
  }
  return true;
}

}  // namespace

bool MarkupDoc::ReplaceText(int32_t offset, int32_t removeCount, const std::u16string& insert) {
  const size_t newLength = text_.size() + insert.size() - static_cast<size_t>(removeCount);
  if (newLength > kMaxTextLength) return false;
  try {
    // Growth by half again keeps a long run of appends linear.
    if (newLength > text_.capacity()) text_.reserve(newLength + newLength / 2 + 128);
    text_.replace(static_cast<size_t>(offset), static_cast<size_t>(removeCount), insert);
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
  return true;
}

void MarkupDoc::ShiftSubtree(int32_t root, int32_t difference) {
  int32_t node = root;
  for (;;) {
    ElementEntry& entry = Entry(node);
    entry.start += difference;
    if (entry.firstChild != 0) {
      node = entry.firstChild;
      continue;
    }
    while (node != root && Entry(node).next == 0) node = Entry(node).parent;
    if (node == root) return;
    node = Entry(node).next;
  }
}

void MarkupDoc::ShiftPositions(int32_t element, int32_t difference) {
  if (element == 0) return;
  for (int32_t child = Entry(element).firstChild; child != 0; child = Entry(child).next)
    ShiftSubtree(child, difference);
  int32_t node = element;
  for (;;) {
    for (int32_t sibling = Entry(node).next; sibling != 0; sibling = Entry(sibling).next)
      ShiftSubtree(sibling, difference);
    const int32_t parent = Entry(node).parent;
    Entry(parent).length += difference;
    if (parent == 0) return;
    node = parent;
  }
}

bool MarkupDoc::AddElement(const std::u16string& name) { return AddNode(name, false); }

bool MarkupDoc::AddChildElement(const std::u16string& name) { return AddNode(name, true); }

bool MarkupDoc::AddNode(const std::u16string& name, bool asChild) {
  const int32_t parent = asChild ? currentPos_ : parentPos_;
  int32_t after = asChild ? childPos_ : currentPos_;
  if (asChild && parent == 0) return false;
  // A start tag must stay within the width of the tag-length word.
  if (name.size() + 3 >= static_cast<size_t>(ElementEntry::kStartTagLimit)) return false;
  if (!ElementNameUsable(name)) return false;

  bool parentEmpty = false;
  bool parentBare = false;
  std::u16string parentName;
  if (parent != 0) {
    const ElementEntry& up = Entry(parent);
    // An element without end tag has no place for children in its text.
    if (up.flagsLevel & ElementEntry::kNotEnded) return false;
    parentEmpty = up.StartTagLength() == up.length;
    parentBare = up.length - up.EndTagLength() == up.StartTagLength();
    if (parentEmpty) {
      parentName = GetTagName(parent);
      if (parentName.size() + 3 >= static_cast<size_t>(ElementEntry::kEndTagLimit)) return false;
      if (!EndTagWouldClose(text_, up.start, parentName)) return false;
      // "<p//>" would still read as an empty element once its last '/'
      // became '>'.
      if (text_[static_cast<size_t>(up.start + up.length - 3)] == u'/') return false;
    }
  }

  const int32_t nameLength = static_cast<int32_t>(name.size());

  // Where the element goes.
  const int32_t textLength = static_cast<int32_t>(text_.size());
  int32_t offset;
  if (after != 0) {
    offset = Entry(after).start + Entry(after).length;
  } else if (parentEmpty) {
    offset = Entry(parent).start + Entry(parent).StartTagLength() - 1;
  } else {
    const ElementEntry& up = Entry(parent);
    offset = up.start + up.length - up.EndTagLength();
  }
  if (!parentEmpty) {
    int32_t look = offset;
    while (look < textLength && IsWhite(text_[static_cast<size_t>(look)])) ++look;
    if (look >= textLength || text_[static_cast<size_t>(look)] == u'<') offset = look;
  }
  if (after == 0 && Entry(parent).firstChild != 0) after = Entry(Entry(parent).firstChild).prev;

  // The element's own text is "<name/>", followed by CRLF.
  std::u16string insert;
  insert.reserve(name.size() + parentName.size() + 12);
  int32_t spliceAt = offset;
  int32_t removeCount = 0;
  int32_t newStart = offset;
  if (parentEmpty) {
    // <p/> becomes <p>, CRLF, the element, CRLF, </p>: the '/' is replaced.
    insert += u">\r\n";
    spliceAt = Entry(parent).start + Entry(parent).length - 2;
    removeCount = 1;
    newStart = offset + 2;
  } else if (parentBare) {
    insert += u"\r\n";
    spliceAt = Entry(parent).start + Entry(parent).StartTagLength();
    newStart = offset + 2;
  }
  insert += u'<';
  insert += name;
  insert += u"/>\r\n";
  if (parentEmpty) {
    insert += u"</";
    insert += parentName;
  }

  if (elementCount_ == capacity_) GrowElements(0);
  if (!ReplaceText(spliceAt, removeCount, insert)) return false;
  if (parentEmpty) {
    ElementEntry& up = Entry(parent);
    up.SetStartTagLength(up.StartTagLength() - 1);
    up.SetEndTagLength(static_cast<int32_t>(parentName.size()) + 3);
  }

  const int32_t index = elementCount_++;
  ElementEntry& entry = Entry(index);
  entry = ElementEntry{};
  entry.start = newStart;
  entry.length = nameLength + 3;
  entry.SetStartTagLength(nameLength + 3);
  entry.parent = parent;
  const uint32_t level = parent != 0 ? std::min<uint32_t>(static_cast<uint32_t>(Entry(parent).Level()) + 1,
                                                           ElementEntry::kLevelMask)
                                     : 0;
  if (after != 0) {
    ElementEntry& before = Entry(after);
    entry.next = before.next;
    entry.prev = after;
    if (before.next == 0)
      Entry(Entry(parent).firstChild).prev = index;
    else
      Entry(before.next).prev = index;  // keeps the chain walkable backwards
    before.next = index;
    entry.flagsLevel = level;
  } else {
    entry.flagsLevel = level | ElementEntry::kFirstChild;
    entry.prev = index;
    entry.next = 0;
    Entry(parent).firstChild = index;
  }
  ShiftPositions(index, static_cast<int32_t>(insert.size()) - removeCount);

  if (asChild) {
    currentPos_ = parent;
    childPos_ = index;
  } else {
    parentPos_ = parent;
    currentPos_ = index;
    childPos_ = 0;
  }
  nodeType_ = 1;
  return true;
}

std::u16string MarkupDoc::EscapeAttributeValue(const std::u16string& value) {
  std::u16string out;
  out.reserve(value.size() + value.size() / 10 + 7);
  markup_text::AppendEscaped(out, value);
  return out;
}
