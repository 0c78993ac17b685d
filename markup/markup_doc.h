// MarkupDoc: the module's own small XML engine. A document is one UTF-16
// text plus an index of element positions into that text; there are no node
// or attribute objects. The parser builds the index from the text; the
// editing operations splice strings into the text and keep the index in step,
// so a response document is built in place and written out as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One element of the index. All offsets and lengths count UTF-16 units from
// the start of the document text.
struct ElementEntry {
  // Bits of the flags-and-level word.
  static constexpr uint32_t kLevelMask = 0xFFFF;
  static constexpr uint32_t kFirstChild = 0x80000;   // first child of its parent
  static constexpr uint32_t kNotEnded = 0x100000;    // start tag without end tag
  static constexpr uint32_t kInnerError = 0x200000;  // something inside was in error
  static constexpr uint32_t kIllFormed = 0x800000;   // document record only
  // The tag-length word: start-tag length in the low bits (read through
  // 0x2FFFFF; bit 20 belongs to neither length), end-tag length in bits 22-31
  // (read by an arithmetic shift). Lengths must stay below these limits.
  static constexpr uint32_t kStartTagMask = 0x2FFFFF;
  static constexpr uint32_t kStartTagKeep = 0xFFD00000;
  static constexpr int32_t kStartTagLimit = 1 << 20;
  static constexpr int32_t kEndTagLimit = 512;

  int32_t start;        // offset of the '<' of the start tag
  int32_t length;       // start to end of end tag (start-tag length if none)
  uint32_t tagLengths;  // packed start-tag and end-tag lengths
  uint32_t flagsLevel;  // level in the low 16 bits, then the flags above
  int32_t parent;       // 0 for a top-level element
  int32_t firstChild;   // 0 if none
  int32_t next;         // next sibling, 0 for the last
  int32_t prev;         // previous sibling; the first child's names the last

  int32_t StartTagLength() const { return static_cast<int32_t>(tagLengths & kStartTagMask); }
  int32_t EndTagLength() const { return static_cast<int32_t>(tagLengths) >> 22; }
  void SetStartTagLength(int32_t n) {
    tagLengths = (tagLengths & kStartTagKeep) | static_cast<uint32_t>(n);
  }
  void SetEndTagLength(int32_t n) {
    tagLengths = (tagLengths & 0x3FFFFFu) | (static_cast<uint32_t>(n) << 22);
  }
  int32_t Level() const { return static_cast<int32_t>(flagsLevel & kLevelMask); }
};

// Reading position over the document text, shared by the tokenizer and by
// the attribute search.
struct TokenCursor {
  static constexpr uint32_t kQuoted = 0x8000;  // the last value read was quoted

  int32_t nameStart = 0;
  int32_t nameEnd = -1;  // inclusive; nameEnd < nameStart means empty
  int32_t next = 0;      // where scanning resumes
  const char16_t* text = nullptr;
  int32_t textLength = 0;  // the end of the text
  uint32_t flags = 0;

  // Tag-name scan from next: skips whitespace, then takes characters up to a
  // name delimiter (or one delimiter character on its own). False at the end
  // of the text.
  bool ScanName();
  // True when the range nameStart..nameEnd equals the first characters of
  // name and name continues with nothing or one of " =/[]".
  bool NameMatches(const char16_t* name, size_t nameLength) const;
  bool NameMatches(const std::u16string& name) const {
    return NameMatches(name.data(), name.size());
  }
};

// One scanned piece of text.
struct NodeToken {
  // Node types returned by ReadNodeToken.
  static constexpr int32_t kEndTag = 0;
  static constexpr int32_t kElement = 1;
  static constexpr int32_t kText = 2;
  static constexpr int32_t kWhitespace = 4;
  static constexpr int32_t kCData = 8;
  static constexpr int32_t kProcessingInstruction = 16;
  static constexpr int32_t kComment = 32;
  static constexpr int32_t kDoctype = 64;
  static constexpr int32_t kError = -1;
  static constexpr int32_t kEndOfText = -2;
  static constexpr int32_t kClosedEmpty = 0x10000;  // node flag: start tag ends with "/>"

  int32_t type = 0;
  int32_t start = 0;
  int32_t length = 0;
  int32_t nodeFlags = 0;
  std::u16string text;  // tag name (start tag, processing instruction) or error message
};

// Reads the node token that starts at cursor.next, advances the cursor past
// it and returns its type. The token's string keeps its storage between
// calls, so scanning a document allocates only for the longest name.
int32_t ReadNodeToken(TokenCursor& cursor, NodeToken& token);

class MarkupDoc {
 public:
  // Segment geometry of the element table.
  static constexpr int32_t kSegmentShift = 16;
  static constexpr int32_t kSegmentSize = 1 << kSegmentShift;
  // Offsets are 32-bit; longer texts are refused.
  static constexpr size_t kMaxTextLength = 0x7FFFFFF0;

  MarkupDoc();
  ~MarkupDoc();
  MarkupDoc(const MarkupDoc&) = delete;
  MarkupDoc& operator=(const MarkupDoc&) = delete;

  // Rebuilds the element index from the text; true when the document is well
  // formed (one root, no errors). The first problem found is added to
  // errorText (after any message it held on entry, joined by ", ").
  bool Parse();
  void IntoElement();
  void OutOfElement();
  // Moves the position to a given parent, current element and current child
  // (0 for none), for callers that navigate a parsed document. False, and
  // nothing changed, unless current is a child of parent and child a child
  // of current.
  bool SetPositions(int32_t parent, int32_t current, int32_t child);
  // Name of the element at index (empty for 0 or an index never created).
  std::u16string GetTagName(int32_t index) const;

  // Adds <name/> after the current element, under the current parent.
  bool AddElement(const std::u16string& name);
  // Adds <name/> under the current element, after the current child.
  bool AddChildElement(const std::u16string& name);
  // Sets (or adds) an attribute of the current child's start tag.
  bool SetChildAttribute(const std::u16string& name, const std::u16string& value);
  static std::u16string EscapeAttributeValue(const std::u16string& value);
  // Writes the text to the file (UTF-16 LE with byte-order mark when the text
  // declares utf-16, else UTF-8); errorText receives the result line or the
  // runtime's error text.
  bool Save(const char16_t* path);

  const std::u16string& GetText() const { return text_; }
  // Replaces the text; the index is stale until the next Parse.
  void SetText(const std::u16string& text) { text_ = text; }
  const std::u16string& GetErrorText() const { return errorText_; }
  void ClearErrorText() { errorText_.clear(); }

  int32_t GetParentPos() const { return parentPos_; }
  int32_t GetCurrentPos() const { return currentPos_; }
  int32_t GetChildPos() const { return childPos_; }
  int32_t GetElementCount() const { return elementCount_; }
  int32_t GetNodeType() const { return nodeType_; }
  int32_t GetCapacity() const { return capacity_; }
  int32_t GetSegmentSlots() const { return segmentSlots_; }
  // Entry at index (0 is the document record); throws CInvalidArgException
  // outside 0 .. elementCount - 1.
  const ElementEntry& GetElement(int32_t index) const;

 private:
  ElementEntry& Entry(int32_t index) {
    return segments_[index >> kSegmentShift][index & (kSegmentSize - 1)];
  }
  const ElementEntry& Entry(int32_t index) const {
    return segments_[index >> kSegmentShift][index & (kSegmentSize - 1)];
  }
  // Grows the table to n entries (0: elementCount + elementCount / 2), at
  // most one segment at a time.
  void GrowElements(int32_t n);
  void FreeElements();

  int32_t BuildTable();
  void LinkLastChild(int32_t parent, int32_t element);
  void MarkError(int32_t innermost);
  void CloseUnended(int32_t element);

  bool AddNode(const std::u16string& name, bool asChild);
  bool ReplaceText(int32_t offset, int32_t removeCount, const std::u16string& insert);
  void ShiftPositions(int32_t element, int32_t difference);
  void ShiftSubtree(int32_t root, int32_t difference);

  std::u16string text_;
  std::u16string errorText_;
  int32_t parentPos_ = 0;
  int32_t currentPos_ = 0;
  int32_t childPos_ = 0;
  int32_t elementCount_ = 0;
  int32_t nodeType_ = 0;
  ElementEntry** segments_ = nullptr;
  int32_t capacity_ = 0;
  int32_t segmentSlots_ = 0;
  // Open-element stack of the parser, kept between parses so that their
  // name strings keep their storage.
  std::vector<NodeToken> openTags_;
};
