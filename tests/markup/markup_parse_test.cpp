// The markup parser: tokens, the element index it builds, its messages and
// the growth of the element table.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "markup/markup_doc.h"
#include "tests/markup/markup_index_check.h"

namespace {

const std::u16string kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\" ?>";

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct Parsed {
  bool ok;
  std::u16string error;
};

Parsed ParseText(MarkupDoc& doc, const std::u16string& text) {
  doc.SetText(text);
  doc.ClearErrorText();
  bool ok = doc.Parse();
  return {ok, doc.GetErrorText()};
}

bool IllFormed(const MarkupDoc& doc) { return (doc.GetElement(0).flagsLevel & ElementEntry::kIllFormed) != 0; }

// Types and lengths of every token of text.
std::vector<std::pair<int32_t, int32_t>> Tokens(const std::u16string& text, std::vector<std::u16string>* strings = nullptr) {
  TokenCursor cursor;
  cursor.text = text.data();
  cursor.textLength = static_cast<int32_t>(text.size());
  NodeToken token;
  std::vector<std::pair<int32_t, int32_t>> out;
  for (;;) {
    int32_t type = ReadNodeToken(cursor, token);
    out.emplace_back(type, token.length);
    if (strings) strings->push_back(token.text);
    if (type == NodeToken::kEndOfText) return out;
  }
}

std::u16string FirstTokenMessage(const std::u16string& text) {
  std::vector<std::u16string> strings;
  auto tokens = Tokens(text, &strings);
  for (size_t i = 0; i < tokens.size(); ++i)
    if (tokens[i].first == NodeToken::kError) return strings[i];
  return u"(no error token)";
}

TEST(MarkupParse, NewDocumentIsAnEmptyParse) {
  MarkupDoc doc;
  EXPECT_TRUE(doc.GetText().empty());
  EXPECT_EQ(u"Empty document", doc.GetErrorText());
  EXPECT_EQ(1, doc.GetElementCount());
  EXPECT_EQ(8, doc.GetCapacity());
  EXPECT_EQ(0, doc.GetParentPos());
  EXPECT_EQ(0, doc.GetCurrentPos());
  EXPECT_EQ(0, doc.GetChildPos());
  EXPECT_EQ(0, doc.GetNodeType());
}

TEST(MarkupParse, DocumentLevelMessages) {
  MarkupDoc doc;
  Parsed p = ParseText(doc, u"");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"Empty document", p.error);

  p = ParseText(doc, kDeclaration);
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"No root element", p.error);
  EXPECT_EQ(1, doc.GetElementCount());
  EXPECT_EQ(static_cast<int32_t>(kDeclaration.size()), doc.GetElement(0).length);
  EXPECT_FALSE(IllFormed(doc));

  p = ParseText(doc, u"<a/><b/>");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"Root element has sibling", p.error);
  EXPECT_FALSE(IllFormed(doc));
  const ElementEntry& a = doc.GetElement(1);
  const ElementEntry& b = doc.GetElement(2);
  EXPECT_EQ(2, a.next);
  EXPECT_EQ(2, a.prev) << "the first child's prev names the last sibling";
  EXPECT_EQ(1, b.prev);
  EXPECT_NE(0u, a.flagsLevel & ElementEntry::kFirstChild);
  EXPECT_EQ(0u, b.flagsLevel & ElementEntry::kFirstChild);

  // A stray end tag is reported first, then replaced by the missing root.
  p = ParseText(doc, u"</a>");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"No root element", p.error);
  EXPECT_TRUE(IllFormed(doc));

  p = ParseText(doc, u"<r/><!-- x");
  EXPECT_EQ(u"Comment at offset 4 unterminated", p.error);
  p = ParseText(doc, u"<!-- x");
  EXPECT_EQ(u"No root element", p.error);
  p = ParseText(doc, u"<1>");
  EXPECT_EQ(u"No root element", p.error);
}

TEST(MarkupParse, WellFormedDocumentIndex) {
  MarkupDoc doc;
  const std::u16string text = kDeclaration + u"\r\n<r a=\"1\">\r\n <b>t</b><c/>\r\n</r>";
  Parsed p = ParseText(doc, text);
  ASSERT_TRUE(p.ok) << Narrow(p.error);
  EXPECT_TRUE(p.error.empty());
  ASSERT_EQ(4, doc.GetElementCount());
  const int32_t r0 = static_cast<int32_t>(kDeclaration.size()) + 2;
  const ElementEntry& r = doc.GetElement(1);
  EXPECT_EQ(r0, r.start);
  EXPECT_EQ(static_cast<int32_t>(text.size()) - r0, r.length);
  EXPECT_EQ(9, r.StartTagLength());
  EXPECT_EQ(4, r.EndTagLength());
  EXPECT_EQ(0, r.Level());
  EXPECT_EQ(2, r.firstChild);
  const ElementEntry& b = doc.GetElement(2);
  EXPECT_EQ(r0 + 12, b.start);
  EXPECT_EQ(8, b.length);
  EXPECT_EQ(3, b.StartTagLength());
  EXPECT_EQ(4, b.EndTagLength());
  EXPECT_EQ(1, b.Level());
  const ElementEntry& c = doc.GetElement(3);
  EXPECT_EQ(4, c.length);
  EXPECT_EQ(4, c.StartTagLength());
  EXPECT_EQ(0, c.EndTagLength());
  EXPECT_EQ(1, doc.GetElement(0).firstChild);
  EXPECT_EQ(u"r", doc.GetTagName(1));
  EXPECT_EQ(u"c", doc.GetTagName(3));
  EXPECT_EQ(u"", doc.GetTagName(0));
  EXPECT_EQ(u"", doc.GetTagName(4));
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupParse, EndTagClosingAnOuterElementLeavesTheInnerUnended) {
  MarkupDoc doc;
  Parsed p = ParseText(doc, u"<a><b></a>");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"End tag 'a' at offset 7 does not match start tag 'b' at offset 3", p.error);
  EXPECT_TRUE(IllFormed(doc));
  const ElementEntry& a = doc.GetElement(1);
  const ElementEntry& b = doc.GetElement(2);
  EXPECT_EQ(10, a.length);
  EXPECT_EQ(4, a.EndTagLength());
  EXPECT_EQ(3, b.length);
  EXPECT_EQ(0, b.EndTagLength());
  EXPECT_NE(0u, b.flagsLevel & ElementEntry::kNotEnded);
  EXPECT_EQ(1, b.parent);
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupParse, UnendedElementHandsItsChildrenToItsParent) {
  MarkupDoc doc;
  // r > a (never ended) > b, c: b and c become r's children after a.
  Parsed p = ParseText(doc, u"<r><a><b/><c/></r>");
  EXPECT_EQ(u"End tag 'r' at offset 15 does not match start tag 'a' at offset 3", p.error);
  const ElementEntry& r = doc.GetElement(1);
  const ElementEntry& a = doc.GetElement(2);
  const ElementEntry& b = doc.GetElement(3);
  const ElementEntry& c = doc.GetElement(4);
  EXPECT_EQ(18, r.length);
  EXPECT_EQ(2, r.firstChild);
  EXPECT_EQ(0, a.firstChild);
  EXPECT_EQ(3, a.next);
  EXPECT_EQ(4, a.prev) << "r's first child names the new last sibling";
  EXPECT_EQ(1, b.parent);
  EXPECT_EQ(1, c.parent);
  EXPECT_EQ(2, b.prev);
  EXPECT_EQ(0u, b.flagsLevel & ElementEntry::kFirstChild);
  EXPECT_EQ(u"r\n a\n b\n c\n", markup_check::DumpTree(doc, false));
  EXPECT_EQ("", markup_check::CheckIndex(doc));

  p = ParseText(doc, u"<a>");
  EXPECT_EQ(u"Element 'a' at offset 0 not ended", p.error);
  EXPECT_FALSE(p.ok);

  // Unended at the end of the text: a's child joins the top level.
  p = ParseText(doc, u"<a><b/>");
  EXPECT_EQ(u"Root element has sibling", p.error);
  EXPECT_EQ(u"a\nb\n", markup_check::DumpTree(doc, false));
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupParse, ErrorsMarkTheEnclosingElement) {
  MarkupDoc doc;
  Parsed p = ParseText(doc, u"<r><1></r>");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"Incorrect tag name character at offset 3", p.error);
  EXPECT_NE(0u, doc.GetElement(1).flagsLevel & ElementEntry::kInnerError);
  EXPECT_EQ(10, doc.GetElement(1).length);

  // The error mark of an unended element moves to its parent.
  p = ParseText(doc, u"<r><a><1></r>");
  EXPECT_EQ(u"Incorrect tag name character at offset 6", p.error);
  EXPECT_NE(0u, doc.GetElement(1).flagsLevel & ElementEntry::kInnerError);
  EXPECT_EQ(0u, doc.GetElement(2).flagsLevel & ElementEntry::kInnerError);

  p = ParseText(doc, u"<r></x></r>");
  EXPECT_EQ(u"No start tag for end tag 'x' at offset 3", p.error);
  EXPECT_NE(0u, doc.GetElement(1).flagsLevel & ElementEntry::kInnerError);
  EXPECT_EQ(11, doc.GetElement(1).length) << "the stray end tag is ignored";

  // Only the first problem is kept.
  p = ParseText(doc, u"<r><!x></y><z></r>");
  EXPECT_EQ(u"Incorrect ! tag at offset 3", p.error);
}

TEST(MarkupParse, MessagesJoinWhatErrorTextHeldOnEntry) {
  MarkupDoc doc;
  ParseText(doc, u"<a>");
  doc.SetText(u"<b/>");
  EXPECT_TRUE(doc.Parse());
  EXPECT_EQ(u"Element 'a' at offset 0 not ended", doc.GetErrorText());
  doc.SetText(u"");
  EXPECT_FALSE(doc.Parse());
  EXPECT_EQ(u"Element 'a' at offset 0 not ended, Empty document", doc.GetErrorText());
}

TEST(MarkupParse, QuotedGreaterThanStaysInTheStartTag) {
  MarkupDoc doc;
  Parsed p = ParseText(doc, u"<a x=\">\" y='>'></a>");
  ASSERT_TRUE(p.ok) << Narrow(p.error);
  EXPECT_EQ(15, doc.GetElement(1).StartTagLength());
  p = ParseText(doc, u"<a x=\">\">");
  EXPECT_EQ(9, doc.GetElement(1).StartTagLength());
  EXPECT_EQ(u"Element 'a' at offset 0 not ended", p.error);
}

TEST(MarkupParse, EndTagNamesMatchUpToADelimiter) {
  MarkupDoc doc;
  EXPECT_TRUE(ParseText(doc, u"<a=b></a>").ok) << "the start tag's name runs on to '=', the end tag's stops before";
  EXPECT_EQ(u"a", doc.GetTagName(1));
  Parsed p = ParseText(doc, u"<ab></a>");
  EXPECT_EQ(u"No start tag for end tag 'a' at offset 4", p.error);
  p = ParseText(doc, u"<a></ab>");
  EXPECT_EQ(u"No start tag for end tag 'ab' at offset 3", p.error);
  p = ParseText(doc, u"<a></>");
  EXPECT_EQ(u"No start tag for end tag '' at offset 3", p.error);
}

TEST(MarkupTokenizer, NodeTypesAndLengths) {
  const std::u16string text =
      u"<?xml v?>\n<!DOCTYPE r [<!ELEMENT r ANY><!-- c -->]>\n<r a='x'>t<![CDATA[<>]]><!--c--></r> ";
  std::vector<std::u16string> strings;
  auto tokens = Tokens(text, &strings);
  std::vector<std::pair<int32_t, int32_t>> expected = {
      {16, 9}, {4, 1}, {64, 41}, {4, 1}, {1, 9}, {2, 1}, {8, 14}, {32, 8}, {0, 4}, {4, 1}, {-2, 0}};
  EXPECT_EQ(expected, tokens);
  EXPECT_EQ(u"xml", strings[0]);
  EXPECT_EQ(u"r", strings[4]);
}

TEST(MarkupTokenizer, MarkersAndTextEnds) {
  // An empty comment is one token; so is "<!-->", whose '>' follows "--".
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{32, 7}, {-2, 0}}), Tokens(u"<!---->"));
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{32, 5}, {-2, 0}}), Tokens(u"<!-->"));
  // '>' inside a comment, instruction or CDATA section ends it only after its marker.
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{32, 12}, {-2, 0}}), Tokens(u"<!-- a>b -->"));
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{16, 9}, {-2, 0}}), Tokens(u"<?p a>b?>"));
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{8, 16}, {-2, 0}}), Tokens(u"<![CDATA[a>]]]]>"));
  // Text ends before '<' and also at a '>' it contains.
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{2, 2}, {2, 1}, {1, 4}, {-2, 0}}), Tokens(u"a>b<r/>"));
  // Whitespace turns into text at the first other character.
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{4, 2}, {1, 3}, {2, 3}, {-2, 0}}), Tokens(u" \t<r> x "));
  // A bad tag ends before the next '<'.
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{-1, 3}, {1, 3}, {-2, 0}}), Tokens(u"<1 <r>"));
}

TEST(MarkupTokenizer, EmptyElementFlag) {
  TokenCursor cursor;
  NodeToken token;
  std::u16string text = u"<a/><a x=\"/\"><a x=/>";
  cursor.text = text.data();
  cursor.textLength = static_cast<int32_t>(text.size());
  ASSERT_EQ(1, ReadNodeToken(cursor, token));
  EXPECT_EQ(NodeToken::kClosedEmpty, token.nodeFlags);
  ASSERT_EQ(1, ReadNodeToken(cursor, token));
  EXPECT_EQ(0, token.nodeFlags);
  ASSERT_EQ(1, ReadNodeToken(cursor, token));
  EXPECT_EQ(NodeToken::kClosedEmpty, token.nodeFlags);
}

TEST(MarkupTokenizer, ErrorMessages) {
  EXPECT_EQ(u"Incorrect tag name character at offset 2", FirstTokenMessage(u"ab<1>"));
  EXPECT_EQ(u"Incorrect ! tag at offset 0", FirstTokenMessage(u"<!x>"));
  EXPECT_EQ(u"Incorrect comment tag at offset 1", FirstTokenMessage(u" <!-x>"));
  EXPECT_EQ(u"Incorrect tag at offset 0", FirstTokenMessage(u"<![x>"));
  EXPECT_EQ(u"Element tag at offset 0 unterminated", FirstTokenMessage(u"<a x='>'"));
  EXPECT_EQ(u"Element end tag at offset 3 unterminated", FirstTokenMessage(u"<a></a"));
  EXPECT_EQ(u"CDATA Section at offset 0 unterminated", FirstTokenMessage(u"<![CDATA[x]]"));
  EXPECT_EQ(u"Processing instruction at offset 0 unterminated", FirstTokenMessage(u"<?x >"));
  EXPECT_EQ(u"Comment at offset 0 unterminated", FirstTokenMessage(u"<!-- x"));
  EXPECT_EQ(u"Doctype at offset 0 unterminated", FirstTokenMessage(u"<!DOCTYPE x [<!-- c -->"));
  EXPECT_EQ(u"tag at offset 1 unterminated", FirstTokenMessage(u"a<"));
  EXPECT_EQ(u"tag at offset 0 unterminated", FirstTokenMessage(u"<!"));
  // An unterminated bad tag reports the end of the text, not the bad character.
  EXPECT_EQ(u"tag at offset 0 unterminated", FirstTokenMessage(u"<1"));
}

TEST(MarkupTokenizer, NameScanAndMatch) {
  std::u16string text = u"  ab=c <x";
  TokenCursor cursor;
  cursor.text = text.data();
  cursor.textLength = static_cast<int32_t>(text.size());
  ASSERT_TRUE(cursor.ScanName());
  EXPECT_EQ(2, cursor.nameStart);
  EXPECT_EQ(3, cursor.nameEnd);
  EXPECT_TRUE(cursor.NameMatches(u"ab"));
  EXPECT_TRUE(cursor.NameMatches(u"ab=x"));
  EXPECT_TRUE(cursor.NameMatches(u"ab[x"));
  EXPECT_FALSE(cursor.NameMatches(u"abc"));
  EXPECT_FALSE(cursor.NameMatches(u"a"));
  EXPECT_FALSE(cursor.NameMatches(u"AB"));
  ASSERT_TRUE(cursor.ScanName());  // a delimiter on its own
  EXPECT_EQ(4, cursor.nameStart);
  EXPECT_EQ(4, cursor.nameEnd);
  ASSERT_TRUE(cursor.ScanName());
  ASSERT_TRUE(cursor.ScanName());
  EXPECT_EQ(7, cursor.nameStart);
  ASSERT_TRUE(cursor.ScanName());
  EXPECT_FALSE(cursor.ScanName());
  EXPECT_EQ(9, cursor.nameStart);
  EXPECT_EQ(8, cursor.nameEnd);
}

TEST(MarkupParse, TagLengthLimits) {
  MarkupDoc doc;
  // The longest start tag the tag-length word holds reads back exactly.
  std::u16string longest = u"<a" + std::u16string((1 << 20) - 5, u' ') + u"/>";
  ASSERT_EQ(static_cast<size_t>((1 << 20) - 1), longest.size());
  Parsed p = ParseText(doc, u"<r>" + longest + u"</r>");
  ASSERT_TRUE(p.ok) << Narrow(p.error);
  EXPECT_EQ((1 << 20) - 1, doc.GetElement(2).StartTagLength());
  EXPECT_EQ((1 << 20) - 1, doc.GetElement(2).length);

  // One character more is refused as not well formed; nothing is indexed for it.
  std::u16string tooLong = u"<a" + std::u16string((1 << 20) - 4, u' ') + u"/>";
  p = ParseText(doc, u"<r>" + tooLong + u"</r>");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"Element tag at offset 3 too long", p.error);
  EXPECT_EQ(2, doc.GetElementCount());
  EXPECT_NE(0u, doc.GetElement(1).flagsLevel & ElementEntry::kInnerError);
  EXPECT_EQ("", markup_check::CheckIndex(doc));

  // End tags: 511 characters fit, 512 do not.
  p = ParseText(doc, u"<r></r" + std::u16string(507, u' ') + u">");
  ASSERT_TRUE(p.ok) << Narrow(p.error);
  EXPECT_EQ(511, doc.GetElement(1).EndTagLength());
  p = ParseText(doc, u"<r></r" + std::u16string(508, u' ') + u">");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(u"Element end tag at offset 3 too long", p.error);
  EXPECT_EQ(3, doc.GetElement(1).length);
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupParse, DeepNestingKeepsTheLevelOutOfTheFlags) {
  MarkupDoc doc;
  std::u16string text;
  const int depth = 70000;
  for (int i = 0; i < depth; ++i) text += u"<a>";
  for (int i = 0; i < depth; ++i) text += u"</a>";
  ASSERT_TRUE(ParseText(doc, text).ok);
  EXPECT_EQ(0xFFFF, doc.GetElement(depth).Level());
  EXPECT_EQ(0u, doc.GetElement(depth).flagsLevel & ~ElementEntry::kLevelMask & ~ElementEntry::kFirstChild);
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupTable, GrowsByHalfWhenFull) {
  MarkupDoc doc;
  std::u16string text = u"<r>";
  for (int i = 0; i < 100; ++i) text += u"<e/>";
  text += u"</r>";
  // 407 characters: room for 407 / 64 + 8 = 14 entries, then 21, 31, 46, 69, 103.
  ASSERT_TRUE(ParseText(doc, text).ok);
  EXPECT_EQ(102, doc.GetElementCount());
  EXPECT_EQ(103, doc.GetCapacity());
  EXPECT_EQ(4, doc.GetSegmentSlots());
}

TEST(MarkupTable, ElementsCrossIntoTheSecondSegment) {
  MarkupDoc doc;
  std::u16string text = u"<r>";
  for (int i = 0; i < 70000; ++i) text += u"<e/>";
  text += u"</r>";
  ASSERT_TRUE(ParseText(doc, text).ok);
  ASSERT_EQ(70002, doc.GetElementCount());
  EXPECT_GE(doc.GetCapacity(), 70002);
  // Element k (k >= 2) is the (k-1)th <e/>, at 3 + 4 (k - 2).
  EXPECT_EQ(3 + 4 * 65534, doc.GetElement(65536).start);
  EXPECT_EQ(3 + 4 * 65533, doc.GetElement(65535).start);
  EXPECT_EQ(65536, doc.GetElement(65535).next);
  EXPECT_EQ(65535, doc.GetElement(65536).prev);
  EXPECT_EQ(70001, doc.GetElement(2).prev);
  EXPECT_EQ("", markup_check::CheckIndex(doc));
}

TEST(MarkupTable, GrowsAtMostOneSegmentAtATime) {
  // 10,000,000 characters ask for 156,258 entries; the table stops at the
  // end of segment 1.
  MarkupDoc doc;
  Parsed p = ParseText(doc, std::u16string(10000000, u' ') + u"<r/>");
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(2 * 65536, doc.GetCapacity());
  // 5,000,000 characters ask for 78,133: segment 0 is filled, segment 1 holds the rest.
  MarkupDoc second;
  ParseText(second, std::u16string(5000000, u' ') + u"<r/>");
  EXPECT_EQ(78133, second.GetCapacity());
}

TEST(MarkupNavigation, IntoAndOutOfElements) {
  MarkupDoc doc;
  ASSERT_TRUE(ParseText(doc, u"<r><a><b/></a></r>").ok);
  doc.IntoElement();  // no current element: nothing happens
  EXPECT_EQ(0, doc.GetParentPos());
  doc.OutOfElement();
  EXPECT_EQ(0, doc.GetCurrentPos());

  ASSERT_TRUE(doc.SetPositions(0, 1, 2));
  doc.IntoElement();
  EXPECT_EQ(1, doc.GetParentPos());
  EXPECT_EQ(2, doc.GetCurrentPos());
  EXPECT_EQ(0, doc.GetChildPos());
  EXPECT_EQ(1, doc.GetNodeType());
  doc.IntoElement();  // no current child: the position is now empty
  EXPECT_EQ(2, doc.GetParentPos());
  EXPECT_EQ(0, doc.GetCurrentPos());
  EXPECT_EQ(0, doc.GetNodeType());
  doc.IntoElement();
  EXPECT_EQ(2, doc.GetParentPos());
  doc.OutOfElement();
  EXPECT_EQ(1, doc.GetParentPos());
  EXPECT_EQ(2, doc.GetCurrentPos());
  EXPECT_EQ(0, doc.GetChildPos());
  EXPECT_EQ(1, doc.GetNodeType());
  doc.OutOfElement();
  EXPECT_EQ(0, doc.GetParentPos());
  EXPECT_EQ(1, doc.GetCurrentPos());
  EXPECT_EQ(2, doc.GetChildPos());

  EXPECT_FALSE(doc.SetPositions(0, 2, 0)) << "2 is not a top-level element";
  EXPECT_FALSE(doc.SetPositions(0, 1, 3)) << "3 is not a child of 1";
  EXPECT_FALSE(doc.SetPositions(0, 9, 0));
  EXPECT_EQ(1, doc.GetCurrentPos());
}

}  // namespace
